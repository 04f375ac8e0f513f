// What a running job tells whoever shows it. The job reads nothing back: a
// view only shows, and its only say in the run is to end the program.
#pragma once

#include "ftp/listed_names.h"

#include <cstdint>
#include <string>
#include <vector>

class cFTP;
struct JobSettings;

class JobView {
 public:
  virtual ~JobView() = default;

  // The server and both directories of the job that runs.
  virtual void ShowJob(const JobSettings& settings) = 0;
  virtual void ShowMode(bool passive) = 0;
  // A status line, its control characters already escaped.
  virtual void ShowStatus(const std::string& text) = 0;
  // The transfer line that starts: its pattern and whether it deletes sources.
  virtual void ShowLine(const std::string& pattern, bool deleteSources) = 0;
  // The line's files from `next` on, those still to move.
  virtual void ShowFilesLeft(const std::vector<ListedFile>& files, size_t next) = 0;
  // The file that starts moving; its transfer's clock starts now.
  virtual void ShowFile(const std::string& name) = 0;
  virtual void FileStarted() = 0;

  // During a transfer: a chunk moved (lCurrentBytes of lTotalBytes so far),
  // and the closing texts of an upload.
  virtual void TransferProgressed(int64_t lCurrentBytes, int64_t lTotalBytes) = 0;
  // `count` chunks' events at one moment, the first at lFirstBytes and
  // each `step` bytes after the one before: as if each came by itself.
  virtual void TransferRunProgressed(int64_t lFirstBytes, int64_t step, int64_t count,
                                     int64_t lTotalBytes) {
    for (int64_t i = 0; i < count; ++i) TransferProgressed(lFirstBytes + i * step, lTotalBytes);
  }
  virtual void ShowTransferText(const std::string& text) = 0;

  // A turn for the view's own events: at once, or only when one is due
  // (asked several times for every chunk of a transfer).
  virtual void Yield() = 0;
  virtual void YieldWhenDue() = 0;

  // The run is over with this exit status.
  virtual void JobEnded(int status) = 0;
};

// Lets `client` report its transfers to `view` and yield to it.
void AttachView(cFTP& client, JobView& view);
