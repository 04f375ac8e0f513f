// The per-file record the job appends to its log after every file it moved
// or gave up on.
#pragma once

#include <string>

// Local now as the user's locale writes a date and a time ("%x %X").
// The locale is whatever the program selected at start.
std::string DateTimeText();

// "<date time> <source>-----><destination>"
std::string SuccessRecord(const std::string& source, const std::string& destination);

// "NAPAKA<date time> <source>-----><destination> <errorText>"
std::string FailureRecord(const std::string& source, const std::string& destination,
                          const std::string& errorText);

// "NAPAKA<date time> <subject> <errorText>": the job could not start, e.g.
// because of its settings file (the subject).
std::string StartFailureRecord(const std::string& subject, const std::string& errorText);

// "NAPAKA<date time> <server> <errorText>": the connection could not be opened.
std::string ConnectionFailureRecord(const std::string& server, const std::string& errorText);

// The log's path: "KESTRIN.log", in the current working directory.
std::string LogFileName();

// Appends record, its control characters escaped, and CR LF to "KESTRIN.log" in the current working
// directory, creating the file when missing. The file is open only for this call, so a crash loses
// nothing already written. False when the file could not be opened or the line not written
// completely.
bool AppendLogRecord(const std::string& record);
