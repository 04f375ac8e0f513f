// A job as its section of the settings file gives it, read once when the job
// is loaded, so that nothing changes under a running job.
#pragma once

#include "ftp/ssh_settings.h"

#include <string>
#include <vector>

struct FollowUpCommand {
  std::string key;  // "run<n>"
  std::string command;
  // Longer than the settings reader takes: what is left is another command.
  bool cut = false;
};

struct JobSettings {
  std::string section;
  std::string server;     // FTPURL
  std::string remoteDir;  // ftpdir
  std::string localDir;   // localdir; the program's own directory when absent
  std::string user;
  std::string password;
  std::string caFile;  // "" for none
  bool tlsVerify = true;
  bool tempUpload = false;
  bool passive = false;
  SshSettings ssh;  // sshkey, sshkeypass, hostkey, knownhosts
  // A directory's or a transfer line's key whose value the settings reader
  // cut, or "".
  std::string cutKey;
  // The present values of prenos1..prenos20 and run1..run20, in order.
  std::vector<std::string> lines;
  std::vector<FollowUpCommand> commands;
};

// The job of section `section` of `iniFile`.
JobSettings ReadJobSettings(const std::string& iniFile, const std::string& section);

// The section that PROGRAM's IZBRANO selects.
std::string SelectedSection(const std::string& iniFile);

// Whether `section` is a job of `iniFile`: it names a server.
bool IsJobSection(const std::string& iniFile, const std::string& section);

// kestrin.ini beside the program.
std::string DefaultSettingsFile();
