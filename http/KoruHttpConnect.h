// The program's own HTTP client: one URL per GetPage call, a hand-made
// header block, redirects followed by hand, the body kept as lines. The same
// class carries the line-by-line page parser.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http.h"
#include "platform/url.h"

// The internet session of one GetPage call. Status reports are never
// switched on, so the override only keeps them silent.
class CKoruHttpSession : public plat::CHttpSession {
public:
    explicit CKoruHttpSession(const std::string& agent) : plat::CHttpSession(agent) {}
    void OnStatusCallback(uintptr_t context, uint32_t status, const void* info,
                          uint32_t infoLength) override;
};

class CKoruHttpConnect {
public:
    CKoruHttpConnect();
    virtual ~CKoruHttpConnect();
    CKoruHttpConnect(const CKoruHttpConnect&) = delete;
    CKoruHttpConnect& operator=(const CKoruHttpConnect&) = delete;

    // ---- request (owned by the HTTP client) ----
    int GetPage(std::string url, std::string postBody, std::string referer);
    int SetSecureScheme(std::string url);

    // ---- page parser (owned by the page parser) ----
    std::string ParsePageLine(std::string text, int mode, int finish);
    // Parser helpers are declared here by the page parser.
    // PARSER-DECLARATIONS-BEGIN
    static int FindNoCase(std::string_view text, std::string_view pattern);
    std::string ReadPageTitle(std::string_view rest, int inItem);
    void ReadMeta(std::string_view rest);
    std::string GetBreakText(std::string_view rest) const;
    std::string GetSkipEnd(std::string_view rest) const;
    std::string DecodeEntities(const std::string& text) const;
    std::string ReadForm(std::string_view rest, int& formOpen, int& lineTaken);
    static int IsFormWorthShowing(const std::string& form);
    void ReadBaseHref(std::string_view rest);
    void ReadFrame(std::string_view rest);
    std::string ReadAnchor(std::string_view rest);
    std::string ReadFeedLink(std::string_view rest);
    static std::string ReadImageAlt(std::string_view rest);
    static int IsItemTag(std::string_view rest);
    static std::string GetAttrValue(std::string_view text, std::string_view name, int mustStart);
    static std::string GetTagAttrValue(std::string_view text, std::string_view tag,
                                       std::string_view name, int mustStart);
    static std::string CombineUrl(const std::string& base, const std::string& relative);
    // The tag start rule of the scanner; returns how many more characters it took.
    size_t TagStart(std::string_view rest, std::string& pending, std::string& output,
                    int& lineTaken);
    // PARSER-DECLARATIONS-END

    // ---- members, in the order of the class's table ----
    std::string m_strRequestHeaders;
    std::string m_strError;
    int m_bBrowserAgent = 0;
    std::string m_strRefreshUrl;
    std::string m_strBaseHref;
    std::string m_strAnchor;
    std::vector<std::string> m_arrFrameSrc;
    std::vector<std::string> m_arrFrameName;
    int m_nRefreshSeconds = -1;
    std::string m_strAgent;
    uint32_t m_dwRequestFlags = 0x20200000;
    std::vector<std::string> m_arrLines;
    std::vector<std::string> m_arrTextLines;
    std::vector<std::string> m_arrEntityNames;
    std::vector<std::string> m_arrEntityTexts;
    std::vector<std::string> m_arrSkipOpenTags;
    std::vector<std::string> m_arrSkipCloseTags;
    std::vector<std::string> m_arrBreakTags;
    std::vector<std::string> m_arrBreakTexts;
    std::string m_strTitle;
    std::string m_strRequestUrl;
    std::string m_strFinalUrl;
    std::vector<std::string> m_arrLinks;
    int m_nLinkCount = 0;
    int m_nCharset = 0;
    std::vector<std::string> m_arrForms;
    int m_nFormCount = 0;

private:
    // Request steps of GetPage.
    void ResetPageResults();
    std::string BuildRequestHeaders(const std::string& postBody, const std::string& referer) const;
    int FollowRedirects(CKoruHttpSession& session,
                        std::unique_ptr<plat::CHttpConnection>& connection,
                        std::unique_ptr<plat::CHttpFile>& file, plat::CUrlParts& target,
                        const std::string& postBody, int status);
    void ReadBody(plat::CHttpFile& file);

    // Fills the entity table and the four tag tables (page parser).
    void InitParserTables();
};
