// The status lines the job shows.
#pragma once

inline constexpr char kUploadStart[] = "Status: prenos na strežnik...";
inline constexpr char kDownloadStart[] = "Status: prenos iz strežnika...";
inline constexpr char kTransferDone[] = "Status: Prenos je končan.";
// Opens the status line of every failure, followed by its error text; a
// failed download's has a blank after the colon.
inline constexpr char kFailureStatus[] = "Status napaka:";
inline constexpr char kDownloadFailureStatus[] = "Status napaka: ";
