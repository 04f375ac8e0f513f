#include "job/job_view.h"

#include "ftp/cftp.h"

void AttachView(cFTP& client, JobView& view) {
  client.FileTransferProgress = [&view](int64_t current, int64_t total) {
    view.TransferProgressed(current, total);
  };
  client.FileTransferRun = [&view](int64_t first, int64_t step, int64_t count, int64_t total) {
    view.TransferRunProgressed(first, step, count, total);
  };
  client.YieldToWindow = [&view] { view.YieldWhenDue(); };
  client.YieldWhileBlocked = [&view] { view.Yield(); };
  client.ShowTransferText = [&view](const std::string& text) { view.ShowTransferText(text); };
}
