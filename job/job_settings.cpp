#include "job/job_settings.h"

#include "job/present_value.h"
#include "job/program_dir.h"
#include "settings/rwini1.h"

namespace {

constexpr char kIniFileName[] = "kestrin.ini";
constexpr char kProgramSection[] = "PROGRAM";
constexpr char kSelectedKey[] = "IZBRANO";
constexpr char kServerKey[] = "FTPURL";
constexpr char kRemoteDirectoryKey[] = "ftpdir";
constexpr char kLocalDirectoryKey[] = "localdir";
constexpr int kNumberedKeys = 20;
constexpr char kTransferStem[] = "prenos";
constexpr char kCommandStem[] = "run";
// The one value that selects passive mode, matched exactly.
constexpr char kPassiveValue[] = "PASIVE";
// Like the mode, the values that change how the job connects and uploads
// are matched exactly: anything else keeps the default, which for the
// certificate check is the safe one.
constexpr char kNoVerifyValue[] = "NO";
constexpr char kTempUploadValue[] = "YES";

}  // namespace

JobSettings ReadJobSettings(const std::string& iniFile, const std::string& section) {
  const auto read = [&](const std::string& key) { return ReadINI(section, key, iniFile); };
  JobSettings job;
  job.section = section;
  job.server = read(kServerKey);
  job.remoteDir = read(kRemoteDirectoryKey);
  job.localDir = read(kLocalDirectoryKey);
  if (!IsPresent(job.localDir)) job.localDir = ProgramDirectory() + "/";
  for (const char* key : {kRemoteDirectoryKey, kLocalDirectoryKey})
    if (IsINIValueCut(section, key, iniFile)) job.cutKey = key;
  job.user = read("uporabnik");
  job.password = read("geslo");
  const std::string caFile = read("cafile");
  job.caFile = IsPresent(caFile) ? caFile : "";
  job.tlsVerify = read("tlsverify") != kNoVerifyValue;
  job.tempUpload = read("tempupload") == kTempUploadValue;
  job.passive = read("mode") == kPassiveValue;
  for (auto [key, value] : {std::pair{"sshkey", &job.ssh.keyFile},
                            {"sshkeypass", &job.ssh.keyPassphrase},
                            {"hostkey", &job.ssh.hostKeyPin},
                            {"knownhosts", &job.ssh.knownHostsFile}}) {
    const std::string text = read(key);
    *value = IsPresent(text) ? text : "";
  }
  for (int n = 1; n <= kNumberedKeys; ++n) {
    const std::string key = kTransferStem + std::to_string(n);
    std::string line = read(key);
    if (!IsPresent(line)) continue;
    if (IsINIValueCut(section, key, iniFile)) job.cutKey = key;
    job.lines.push_back(std::move(line));
  }
  for (int n = 1; n <= kNumberedKeys; ++n) {
    const std::string key = kCommandStem + std::to_string(n);
    std::string command = read(key);
    if (IsPresent(command))
      job.commands.push_back({key, std::move(command), IsINIValueCut(section, key, iniFile)});
  }
  return job;
}

std::string SelectedSection(const std::string& iniFile) {
  return ReadINI(kProgramSection, kSelectedKey, iniFile);
}

bool IsJobSection(const std::string& iniFile, const std::string& section) {
  return IsPresent(ReadINI(section, kServerKey, iniFile));
}

std::string DefaultSettingsFile() { return ProgramDirectory() + "/" + kIniFileName; }
