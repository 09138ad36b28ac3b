#include "ranking/Ranking.h"

#include <cstdio>
#include <optional>

#include "http/KoruHttpConnect.h"
#include "platform/digest.h"
#include "platform/shell.h"
#include "platform/speech.h"
#include "platform/window.h"

#ifndef DORUZORO_RANKING_SERVER
#define DORUZORO_RANKING_SERVER "127.0.0.1:8047"
#endif

namespace ranking {
namespace {

constexpr const char* kWhiteSpace = " \t\r\n\v\f";
constexpr const char* kCaption = "DoruzorO";
std::optional<bool> g_bPackaged;

// A marker counts only after the first character of its line, as the server
// wraps it in markup.
bool HasMarker(const std::string& line, const char* marker) {
    const std::string::size_type pos = line.find(marker);
    return pos != std::string::npos && pos > 0;
}

std::string Trim(const std::string& text) {
    const std::string::size_type last = text.find_last_not_of(kWhiteSpace);
    if (last == std::string::npos) {
        return "";
    }
    const std::string::size_type first = text.find_first_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

std::string ReplaceParagraphs(std::string text) {
    const std::string tag = "<P>";
    std::string::size_type pos = 0;
    while ((pos = text.find(tag, pos)) != std::string::npos) {
        text.replace(pos, tag.size(), "\n");
        pos += 1;
    }
    return text;
}

std::string Number(int n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", n);
    return buffer;
}

std::string& HostOverride() {
    static std::string host;
    return host;
}

}  // namespace

std::string ServerHost() {
    return HostOverride().empty() ? DORUZORO_RANKING_SERVER : HostOverride();
}

void SetServerHost(const std::string& strHost) {
    HostOverride() = strHost;
}

std::string EncodeQueryValue(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        const bool bUnreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                                 (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' ||
                                 b == '~';
        if (bUnreserved) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

std::string BuildSubmissionUrl(const std::string& strAria, const std::string& strName, int nLevel,
                               int nScore) {
    // The area and the name are free text: encoded, they can neither add
    // query keys nor break the request line.
    return std::string("http://") + ServerHost() + "/game/quibbix/GameSet.asp" +
           "?aria=" + EncodeQueryValue(strAria) + "&name=" + EncodeQueryValue(strName) + "&mode=0" +
           "&level=" + Number(nLevel) + "&score=" + Number(nScore);
}

std::string ReplyFromLines(const std::vector<std::string>& arrLines) {
    std::string reply;
    bool bStarted = false;
    for (const std::string& line : arrLines) {
        if (HasMarker(line, "DATA_START")) {
            bStarted = true;
            continue;
        }
        if (HasMarker(line, "DATA_END")) {
            break;
        }
        if (!bStarted) {
            continue;
        }
        const std::string text = ReplaceParagraphs(Trim(line));
        if (!text.empty()) {
            reply += text + "\r\n";
        }
    }
    return reply.empty() ? "Err" : reply;
}

std::string ReplayUploadUrl() {
    return std::string("http://") + ServerHost() + "/game/quibbix/Replay.asp";
}

std::string AppendReplayKey(const std::string& strSubmissionUrl, const std::string& strReplay) {
    return strSubmissionUrl + "&replay=" + plat::Sha256Hex(strReplay);
}

bool WorthResending(const std::string& strReply) {
    if (strReply.rfind("Registered.", 0) == 0)
        return false;  // verified: nothing left to do
    // The server's own state, not a judgement of the game.
    static const char* const kUnjudged[] = {
        "the server is busy",         "the server is shutting down",
        "its replay did not arrive",  "the ranking cannot store records now",
        "too many records from your",
    };
    for (const char* pText : kUnjudged) {
        if (strReply.find(pText) != std::string::npos)
            return true;
    }
    return strReply == "Err";  // no answer at all
}

std::string SendRecord(const std::string& strAria, const std::string& strName, int nLevel,
                       int nScore, const std::string& strReplay, bool* pResend) {
    std::string url = BuildSubmissionUrl(strAria, strName, nLevel, nScore);
    if (!strReplay.empty()) {
        // Its answer is not shown: the record's reply says whether the
        // replay arrived and counted.
        CKoruHttpConnect upload;
        upload.GetPage(ReplayUploadUrl(), strReplay, "");
        url = AppendReplayKey(url, strReplay);
    }
    CKoruHttpConnect http;
    // A failed request leaves no or partial lines; the reply then says "Err".
    http.GetPage(url, "", "");
    const std::string reply = ReplyFromLines(http.m_arrLines);
    if (pResend)
        *pResend = !strReplay.empty() && WorthResending(reply);
    return reply;
}

std::string ResultPageUrl(int nData) {
    return std::string("http://") + ServerHost() +
           "/game/quibbix/GameResult.asp?data=" + Number(nData);
}

bool OpenResultPage(int nData) {
    const std::string url = ResultPageUrl(nData);
    if (plat::OpenUri(url)) {
        return true;
    }
    plat::Announce(
        "No web browser started, so the ranking page cannot be shown. Its address is " + url + " .",
        kCaption);
    return false;
}

// A package puts the program below /usr (or the package's build says so);
// its updates are the package manager's.
bool IsPackagedInstall() {
    if (g_bPackaged) {
        return *g_bPackaged;
    }
#ifdef DORUZORO_PACKAGED
    return true;
#else
    return plat::ExecutableDir().rfind("/usr/", 0) == 0;
#endif
}

void SetPackagedInstall(std::optional<bool> bPackaged) {
    g_bPackaged = bPackaged;
}

int LaunchUpdater(const std::string& strBasePath, const std::string& strFile,
                  const std::string& strServerPath, const std::string& strAppTitle,
                  const std::function<void()>& fnQuit) {
    if (IsPackagedInstall()) {
        // No launcher comes with a package; the game goes on.
        plat::Announce(
            "DoruzorO was installed from a package: its updates come through the package "
            "manager of the system, not from the game.",
            kCaption);
        return 1;
    }
    const std::string program = strBasePath + "/Hulvane.exe";
    if (!plat::SpawnProgram(program, {"/FILE=" + strFile, "/SERVER_PATH=" + strServerPath,
                                      "/APPTITLE=" + strAppTitle})) {
        plat::Announce("The update launcher " + program + " could not be started.", kCaption);
    }
    if (fnQuit) {
        fnQuit();  // the program ends whether or not the launcher started
    }
    return 1;
}

}  // namespace ranking
