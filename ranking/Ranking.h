// The program's ways to the online ranking: sending a record, opening the
// result pages, and handing over to the update launcher.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ranking {

// The ranking server's host (and port), fixed when the program is built.
std::string ServerHost();
// Tests point the program at their own server; an empty host restores the
// built-in one.
void SetServerHost(const std::string& strHost);

// Percent-encodes the UTF-8 bytes of text, keeping RFC 3986's unreserved
// characters, so that a query value can hold any text.
std::string EncodeQueryValue(const std::string& text);

// The submission request for one record.
std::string BuildSubmissionUrl(const std::string& strAria, const std::string& strName, int nLevel,
                               int nScore);

// The text shown for the lines of the server's reply: the non-empty lines
// between the markers, or "Err" when there are none.
std::string ReplyFromLines(const std::vector<std::string>& arrLines);

// Sends the record and returns the text to show the player. A game's replay
// is uploaded first and the record names it by its SHA-256 ("&replay=" after
// the other keys), so that the server can play the game again; a failed
// upload still sends the record.
// pResend, when given, tells whether the record is worth sending again
// later with its replay: the upload or the record's request failed, or the
// server could not check the replay now (busy, shutting down, storing
// nothing), so nobody has judged the game yet.
std::string SendRecord(const std::string& strAria, const std::string& strName, int nLevel,
                       int nScore, const std::string& strReplay = std::string(),
                       bool* pResend = nullptr);

// The same judgement from the record's reply text (a failed upload makes
// the server answer that the replay did not arrive).
bool WorthResending(const std::string& strReply);

// Where replays are uploaded, and the record's request naming one.
std::string ReplayUploadUrl();
std::string AppendReplayKey(const std::string& strSubmissionUrl, const std::string& strReplay);

// Result page for data 0, 1 or 2, and opening it in the browser; when no
// browser starts, the player is told so (plat::Announce) and false returned.
std::string ResultPageUrl(int nData);
bool OpenResultPage(int nData);

// True for a game installed from a package (built for one, or the program
// below /usr): it has no update launcher. Tests set it; nullopt restores.
bool IsPackagedInstall();
void SetPackagedInstall(std::optional<bool> bPackaged);

// Starts the update launcher below strBasePath, then calls fnQuit whether or
// not it started (a launcher that does not start is announced first).
// A packaged game has none: the player is told that updates come through
// the package manager, and the game goes on without fnQuit. Returns 1.
int LaunchUpdater(const std::string& strBasePath, const std::string& strFile,
                  const std::string& strServerPath, const std::string& strAppTitle,
                  const std::function<void()>& fnQuit);

}  // namespace ranking
