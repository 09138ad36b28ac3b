// The line-by-line page parser of the HTTP client: page text with breaks and
// labels, plus title, charset, refresh, base address, frames, links, forms.
#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>

#include "http/KoruHttpConnect.h"
#include "platform/url.h"

namespace {

// Unfinished tags, forms and skipped blocks are cut off beyond these sizes so
// that a broken page cannot make the parser grow without bound.
constexpr size_t kMaxCarry = 64 * 1024;
constexpr size_t kMaxFormBuffer = 1024 * 1024;

const std::string kDot = "\xE3\x83\xBB";  // the middle dot of the page text

// Scanning state shared by every parser in the process: one page at a time.
struct CScanState {
    // No title tag, no feed link tag on the rest of this line: saves a
    // search of the line at every later tag.
    bool noTitleOnLine = false, noLinkOnLine = false;
    std::string carry, skipUntil, anchorLabel, formLabel, feedTitle, feedLink, formBuffer,
        optionEnd;
    int inTag = 0, depth = 0, formOpen = 0, inChannel = 0, inItem = 0;
};
CScanState g_scan;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
char Up(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

std::string_view Trim(std::string_view t) {
    size_t a = 0, b = t.size();
    while (a < b && IsBlank(t[a]))
        ++a;
    while (b > a && IsBlank(t[b - 1]))
        --b;
    return t.substr(a, b - a);
}

// Case-insensitive search of an upper-case pattern.
size_t SearchNoCase(std::string_view t, std::string_view pat, size_t from = 0) {
    if (pat.empty())
        return from <= t.size() ? from : std::string_view::npos;
    if (t.size() < pat.size())
        return std::string_view::npos;
    const char first = pat[0];
    for (size_t i = from; i + pat.size() <= t.size(); ++i) {
        if (Up(t[i]) != first)
            continue;
        size_t k = 1;
        while (k < pat.size() && Up(t[i + k]) == Up(pat[k]))
            ++k;
        if (k == pat.size())
            return i;
    }
    return std::string_view::npos;
}

// The text begins with the pattern once leading white space is passed over
// (and the pattern does not end in trailing white space).
bool BeginsNoCase(std::string_view t, std::string_view pat) {
    size_t a = 0;
    while (a < t.size() && IsBlank(t[a]))
        ++a;
    if (t.size() - a < pat.size())
        return false;
    for (size_t k = 0; k < pat.size(); ++k)
        if (Up(t[a + k]) != Up(pat[k]))
            return false;
    if (!pat.empty() && IsBlank(pat.back())) {
        for (size_t k = a + pat.size(); k < t.size(); ++k)
            if (!IsBlank(t[k]))
                return true;
        return false;
    }
    return true;
}

// The same test for a pattern that must start right at the first character.
bool StartsNoCase(std::string_view t, std::string_view pat) {
    return !t.empty() && !IsBlank(t[0]) && BeginsNoCase(t, pat);
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    if (from.empty() || text.find(from) == std::string::npos)
        return text;
    std::string out;
    out.reserve(text.size());
    size_t p = 0, q;
    while ((q = text.find(from, p)) != std::string::npos) {
        out.append(text, p, q - p);
        out += to;
        p = q + from.size();
    }
    out.append(text, p, std::string::npos);
    return out;
}

std::string Utf8(unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// The code point of a numeric reference body ("65" or "x41"); digits only
// as far as they go, like the C library reads them. Over-long numbers are
// clamped so they turn into the replacement character.
unsigned long ReferenceValue(std::string_view body) {
    int base = 10;
    size_t i = 0;
    if (!body.empty() && (body[0] == 'x' || body[0] == 'X')) {
        base = 16;
        i = 1;
    }
    unsigned long v = 0;
    for (; i < body.size(); ++i) {
        const int c = static_cast<unsigned char>(body[i]);
        int d;
        if (std::isdigit(c))
            d = c - '0';
        else if (base == 16 && std::isxdigit(c))
            d = std::toupper(c) - 'A' + 10;
        else
            break;
        v = v * base + d;
        if (v > 0x10FFFF)
            v = 0x110000;
    }
    return v;
}

// Per-line memo of the last occurrence of a pattern, so "the rest contains"
// costs nothing per character.
size_t LastNoCase(std::string_view line, std::string_view pat) {
    const std::string_view t = Trim(line);
    const size_t lead = static_cast<size_t>(t.data() - line.data());
    size_t last = std::string_view::npos, p = 0;
    while ((p = SearchNoCase(t, pat, p)) != std::string_view::npos) {
        last = p + lead;
        ++p;
    }
    return last;
}

}  // namespace

void CKoruHttpConnect::InitParserTables() {
    m_arrEntityNames = {"&amp;",  "&nbsp;",  "&gt;",   "&lt;",   "&quot;",
                        "&copy;", "&plusmn", "&laquo", "&raquo", "&yen"};
    m_arrEntityTexts = {
        "&", " ", ">", "<", "\"", "c", "\xC2\xB1", "\xE2\x89\xAA", "\xE2\x89\xAB", "\xC2\xA5"};
    m_arrSkipOpenTags = {"<SCRIPT", "<STYLE"};
    m_arrSkipCloseTags = {"</SCRIPT", "</STYLE", "<TITLE>", "</TITLE>"};
    m_arrBreakTags = {"<BR", "</BR", "<BR/", "</TR"};
    m_arrBreakTexts = {"\r\n", "\r\n", "\r\n", "\r\n"};
}

int CKoruHttpConnect::FindNoCase(std::string_view text, std::string_view pattern) {
    const size_t p = SearchNoCase(Trim(text), pattern);
    return p == std::string_view::npos ? -1 : static_cast<int>(p);
}

std::string CKoruHttpConnect::GetSkipEnd(std::string_view rest) const {
    for (size_t r = 0; r < m_arrSkipOpenTags.size() && r < m_arrSkipCloseTags.size(); ++r) {
        const std::string& tag = m_arrSkipOpenTags[r];
        if (rest.size() < tag.size())
            continue;
        bool same = true;
        for (size_t k = 0; k < tag.size() && same; ++k)
            same = Up(rest[k]) == tag[k];
        if (same)
            return m_arrSkipCloseTags[r];
    }
    return std::string();
}

std::string CKoruHttpConnect::GetBreakText(std::string_view rest) const {
    if (!BeginsNoCase(rest, "<"))
        return std::string();
    // Only tags as short as the table's rows can match: look no further.
    const size_t gt = rest.substr(0, 5).find('>');
    if (gt == std::string_view::npos && rest.size() > 4)
        return std::string();
    const std::string_view tag = rest.substr(0, gt);
    for (size_t r = 0; r < m_arrBreakTags.size() && r < m_arrBreakTexts.size(); ++r)
        if (tag == m_arrBreakTags[r])
            return m_arrBreakTexts[r];
    return std::string();
}

std::string CKoruHttpConnect::ReadPageTitle(std::string_view rest, int inItem) {
    if (!m_strTitle.empty() && inItem == 0)
        return std::string();
    const int a = FindNoCase(rest, "<TITLE>");
    int b = FindNoCase(rest, "</TITLE>");
    if (a < 0 && b < 0)
        return std::string();
    const size_t start = static_cast<size_t>(a < 0 ? 0 : a) + 7;
    const size_t end = b < 0 ? rest.size() : static_cast<size_t>(b);
    const std::string title =
        end > start ? std::string(rest.substr(start, end - start)) : std::string();
    if (inItem == 0)
        m_strTitle = title;
    return title;
}

void CKoruHttpConnect::ReadMeta(std::string_view rest) {
    if (!BeginsNoCase(rest, "<META"))
        return;
    std::string_view tag = Trim(rest);
    tag = tag.substr(0, tag.find('>'));
    const std::string_view m = Trim(tag.substr(5));
    if (FindNoCase(m, "CHARSET=") >= 0 && FindNoCase(m, "UTF-8") >= 0)
        m_nCharset = 2;
    if (FindNoCase(m, "CHARSET=") >= 0 && FindNoCase(m, "SHIFT_JIS") >= 0)
        m_nCharset = 1;
    if (FindNoCase(m, "REFRESH") < 0)
        return;
    const int c = FindNoCase(m, "CONTENT=");
    if (c >= 0) {
        size_t i = static_cast<size_t>(c) + 8;
        while (i < m.size() && (m[i] == '"' || m[i] == '\'' || IsBlank(m[i])))
            ++i;
        long v = 0;
        bool any = false;
        while (i < m.size() && std::isdigit(static_cast<unsigned char>(m[i])) && v < 1000000) {
            v = v * 10 + (m[i++] - '0');
            any = true;
        }
        if (any)
            m_nRefreshSeconds = static_cast<int>(v);
    }
    const int u = FindNoCase(m, "URL=");
    if (u < 0)
        return;
    const std::string_view after = m.substr(static_cast<size_t>(u) + 4);
    const size_t q = after.find('"');
    if (q == std::string_view::npos)
        return;
    std::string url;
    for (char ch : after.substr(0, q))
        if (ch != ' ')
            url += ch;
    m_strRefreshUrl = url;
}

std::string CKoruHttpConnect::DecodeEntities(const std::string& text) const {
    std::string out = text;
    for (size_t r = 0; r < m_arrEntityNames.size() && r < m_arrEntityTexts.size(); ++r)
        out = ReplaceAll(out, m_arrEntityNames[r], m_arrEntityTexts[r]);
    // The numeric references of the input, each replaced wherever it stands.
    std::unordered_set<std::string> refs;
    size_t p = 0;
    while ((p = text.find("&#", p)) != std::string::npos) {
        const size_t semi = text.find(';', p + 2);
        if (semi == std::string::npos)
            break;
        if (semi - p < 10)
            refs.insert(text.substr(p, semi - p + 1));
        p = semi + 1;
    }
    if (refs.empty())
        return out;
    std::string res;
    res.reserve(out.size());
    for (size_t i = 0; i < out.size();) {
        if (out.compare(i, 2, "&#") == 0) {
            const size_t semi = out.find(';', i + 2);
            if (semi != std::string::npos && semi - i < 10) {
                const std::string ref = out.substr(i, semi - i + 1);
                if (refs.count(ref)) {
                    res += Utf8(ReferenceValue(std::string_view(ref).substr(2, ref.size() - 3)));
                    i = semi + 1;
                    continue;
                }
            }
        }
        res += out[i++];
    }
    return res;
}

int CKoruHttpConnect::IsFormWorthShowing(const std::string& form) {
    bool open = false;
    size_t lt = 0;
    for (size_t i = 0; i < form.size(); ++i) {
        const char ch = form[i];
        if (ch == '<') {
            lt = i;
            open = true;
        } else if (ch == '>' && open) {
            std::string tag = form.substr(lt, i - lt);
            for (char& c : tag)
                c = Up(c);
            if (tag.find("FORM") != std::string::npos || tag.find("HIDDEN") != std::string::npos ||
                tag.find("<TR") != std::string::npos || tag.find("<P") != std::string::npos) {
                open = false;
                continue;
            }
            return 1;
        } else if (!open && !IsBlank(ch)) {
            return 1;
        }
    }
    return 0;
}

std::string CKoruHttpConnect::ReadForm(std::string_view rest, int& formOpen, int& lineTaken) {
    std::string& buf = g_scan.formBuffer;
    if (!formOpen) {
        if (!BeginsNoCase(rest, "<FORM"))
            return std::string();
        formOpen = 1;
        buf.assign(rest.substr(0, kMaxFormBuffer));
        lineTaken = 1;
        return std::string();
    }
    // Per character only the tag itself is tested, not the blanks before it.
    if (StartsNoCase(rest, "</FORM")) {
        const std::string form = DecodeEntities(buf);
        std::string label;
        if (IsFormWorthShowing(form)) {
            m_arrForms.push_back(form);
            label = "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xBC\xE3\x83\xA0" +
                    std::to_string(m_nFormCount) + ":";
            ++m_nFormCount;
        }
        formOpen = 0;
        lineTaken = 0;
        buf.clear();
        return label;
    }
    if (!lineTaken && buf.size() < kMaxFormBuffer) {
        buf.append(rest.substr(0, kMaxFormBuffer - buf.size()));
        buf += "\r\n";
    }
    lineTaken = 1;
    return std::string();
}

std::string CKoruHttpConnect::GetAttrValue(std::string_view text, std::string_view name,
                                           int mustStart) {
    const std::string_view t = Trim(text);
    const size_t p =
        mustStart ? (BeginsNoCase(t, name) ? 0 : std::string_view::npos) : SearchNoCase(t, name);
    if (p == std::string_view::npos)
        return std::string();
    const std::string_view v = t.substr(p + name.size());
    if (v.substr(0, 2) == "\"\"")
        return std::string();
    size_t end;
    if (!v.empty() && v[0] == '"')
        end = v.find('"', 1);
    else
        end = v.find_first_of(" \t\r\n\"");
    end = std::min(end, v.find('>'));
    std::string out;
    for (char ch : v.substr(0, end))
        if (ch != '"' && ch != '>')
            out += ch;
    return out;
}

std::string CKoruHttpConnect::GetTagAttrValue(std::string_view text, std::string_view tag,
                                              std::string_view name, int mustStart) {
    const std::string_view t = Trim(text);
    const size_t p =
        mustStart ? (BeginsNoCase(t, tag) ? 0 : std::string_view::npos) : SearchNoCase(t, tag);
    if (p == std::string_view::npos)
        return std::string();
    // The attribute is looked for inside this tag only.
    std::string_view inner = t.substr(p + tag.size());
    inner = inner.substr(0, inner.find('>'));
    const size_t a = SearchNoCase(inner, name);
    if (a == std::string_view::npos)
        return std::string();
    std::string_view v = inner.substr(a + name.size());
    const bool quoted = !v.empty() && v[0] == '"';
    if (quoted)
        v.remove_prefix(1);
    const size_t end = quoted ? v.find('"') : v.find_first_of(" \t\r\n\"");
    std::string out;
    for (char ch : v.substr(0, end))
        if (ch != '"' && ch != '>')
            out += ch;
    return out;
}

std::string CKoruHttpConnect::CombineUrl(const std::string& base, const std::string& relative) {
    std::string out;
    plat::CombineUrl(base, relative, out);
    return out;
}

std::string CKoruHttpConnect::ReadAnchor(std::string_view rest) {
    const std::string v = GetAttrValue(rest, "<A HREF=", 1);
    if (v.empty())
        return std::string();
    m_arrLinks.push_back(CombineUrl(m_strBaseHref.empty() ? m_strFinalUrl : m_strBaseHref, v));
    return "\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xAF" + std::to_string(m_nLinkCount++) + ":";
}

std::string CKoruHttpConnect::ReadFeedLink(std::string_view rest) {
    const int a = FindNoCase(rest, "<LINK>");
    const int b = FindNoCase(rest, "</LINK>");
    if (a < 0 && b < 0)
        return std::string();
    const size_t from = static_cast<size_t>(a < 0 ? 0 : a) + 6;
    const size_t to = b < 0 ? rest.size() : static_cast<size_t>(b);
    const std::string v =
        to > from ? std::string(Trim(rest.substr(from, to - from))) : std::string();
    if (v.empty())
        return std::string();
    m_arrLinks.push_back(CombineUrl(m_strBaseHref.empty() ? m_strFinalUrl : m_strBaseHref, v));
    return "\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xAF" + std::to_string(m_nLinkCount++) + ":";
}

void CKoruHttpConnect::ReadBaseHref(std::string_view rest) {
    const std::string v = GetAttrValue(rest, "<BASE HREF=", 1);
    if (!v.empty())
        m_strBaseHref = v;
}

void CKoruHttpConnect::ReadFrame(std::string_view rest) {
    std::string src = GetTagAttrValue(rest, "<FRAME", "SRC=", 1);
    if (src.empty())
        return;
    src = CombineUrl(m_strRequestUrl, src);
    for (const std::string& known : m_arrFrameSrc)
        if (known == src)
            return;
    const std::string_view t = Trim(rest);
    m_arrFrameSrc.push_back(src);
    m_arrFrameName.push_back(GetAttrValue(t.substr(0, t.find('>') + 1), "NAME=", 0));
}

std::string CKoruHttpConnect::ReadImageAlt(std::string_view rest) {
    // "<IMG" must be the whole tag name, followed by its attributes.
    const std::string_view t = Trim(rest);
    if (!BeginsNoCase(t, "<IMG") || (t.size() > 4 && !IsBlank(t[4]) && t[4] != '>' && t[4] != '/'))
        return std::string();
    const std::string_view tag = t.substr(0, t.find('>') + 1);
    const std::string alt = GetAttrValue(tag, "ALT=", 0);
    return alt.empty() ? std::string() : "(" + alt + ")";
}

int CKoruHttpConnect::IsItemTag(std::string_view rest) {
    if (BeginsNoCase(rest, "<ITEM"))
        return 1;
    if (BeginsNoCase(rest, "</ITEM"))
        return 2;
    return 0;
}

namespace {

// Names a feed name-space element so that its end tag ends the skip.
std::string FeedElementEnd(std::string_view rest) {
    const std::string_view t = Trim(rest);
    const char* prefix = BeginsNoCase(t, "<DC:")    ? "/DC:"
                         : BeginsNoCase(t, "<SYN:") ? "/SYN:"
                                                    : nullptr;
    if (!prefix)
        return std::string();
    const size_t from = std::string_view(prefix).size();  // "<DC:" and "/DC:" are as long
    const size_t gt = t.find('>', 1);
    if (gt == std::string_view::npos || gt < from)
        return std::string();
    std::string_view name = t.substr(from, gt - from);
    name = name.substr(0, name.find_first_of(" \t\r\n/"));
    if (name.empty())
        return std::string();
    return std::string(prefix) + std::string(name) + ">";
}

void ResetScan(bool withOptions) {
    const std::string optionEnd = g_scan.optionEnd;
    g_scan = CScanState();
    if (!withOptions)
        g_scan.optionEnd = optionEnd;
}

}  // namespace

std::string CKoruHttpConnect::ParsePageLine(std::string text, int mode, int finish) {
    if (mode == 1 || mode == 2) {
        ResetScan(mode == 1);
        return std::string();
    }
    CScanState& s = g_scan;
    int lineTaken = 0;
    if (finish == 1) {
        if (!s.formOpen)
            return std::string();
        return ReadForm("</FORM", s.formOpen, lineTaken);
    }
    std::string line = s.carry + text;
    s.carry.clear();
    const size_t lt = line.rfind('<');
    const size_t gt = line.rfind('>');
    if (lt != std::string::npos && (gt == std::string::npos || gt < lt) &&
        line.size() - lt <= kMaxCarry) {
        s.carry = line.substr(lt);
        line.erase(lt);
    }
    if (line.empty())
        return std::string();
    s.noTitleOnLine = false;
    s.noLinkOnLine = false;

    const std::string_view all(line);
    const size_t lastOption = LastNoCase(all, "<OPTION ");
    const size_t lastOptionEnd = LastNoCase(all, "</OPTION");
    auto contains = [](size_t last, size_t i) {
        return last != std::string_view::npos && last >= i;
    };

    std::string pending, output;
    for (size_t i = 0; i < line.size(); ++i) {
        const std::string_view rest = all.substr(i);
        const char ch = line[i];
        if (rest.size() >= 2 && rest[0] == '<' && rest[1] == '>') {
            pending += "<>";
            ++i;
            continue;
        }
        if (rest.size() >= 4 && ch == '<' && Up(rest[1]) == 'B' && Up(rest[2]) == 'R' &&
            rest[3] == '>') {
            pending += "\r\n";
            i += 3;
            continue;
        }
        if (s.formOpen) {
            output = ReadForm(rest, s.formOpen, lineTaken);
            if (s.formOpen)
                continue;
            s.inTag = 0;
            s.depth = 0;
        }
        if (!s.skipUntil.empty()) {
            // Matched where it starts, so scanning resumes right after it.
            if (StartsNoCase(rest, s.skipUntil)) {
                i += s.skipUntil.size() - 1;
                s.skipUntil.clear();
                s.inTag = 0;
                s.depth = 0;
            }
            continue;
        }
        if (ch == '<') {
            if (BeginsNoCase(rest, "<SELECT ") || BeginsNoCase(rest, "<SELECT>")) {
                s.skipUntil = "</SELECT>";
                continue;
            }
            if (BeginsNoCase(rest, "<DESCRIPTION>")) {
                s.skipUntil = "</DESCRIPTION>";
                continue;
            }
            if (BeginsNoCase(rest, "<CHANNEL ") || BeginsNoCase(rest, "<CHANNEL>")) {
                s.inChannel = 1;
                continue;
            }
        }
        if (ch == '<') {
            s.skipUntil = GetSkipEnd(rest);
            if (!s.skipUntil.empty())
                continue;
        }
        if (s.inTag) {
            if (ch == '<')
                ++s.depth;
            if (ch == '>' && --s.depth < 1)
                s.inTag = 0;
            continue;
        }
        if (ch == '<') {
            i += TagStart(rest, pending, output, lineTaken);
            continue;
        }
        // A text character.
        bool shown = true;
        if (s.inChannel && !s.inItem) {
            pending.clear();
            shown = false;
        }
        if (contains(lastOption, i))
            s.optionEnd = "</option";
        if (!s.optionEnd.empty()) {
            if (contains(lastOptionEnd, i))
                s.optionEnd.clear();
            else
                shown = false;
        }
        if (shown)
            pending += ch;
    }
    output += pending;
    if (output == ">" || output == "<" || output == kDot || output == " ")
        output.clear();
    return output;
}

size_t CKoruHttpConnect::TagStart(std::string_view rest, std::string& pending, std::string& output,
                                  int& lineTaken) {
    CScanState& s = g_scan;
    ++s.depth;
    bool flushed = false;
    for (std::string* label : {&s.anchorLabel, &s.formLabel}) {
        if (label->empty())
            continue;
        output += "\r\n" + *label + pending;
        pending.clear();
        label->clear();
        flushed = true;
    }
    const bool inFeedItem = s.inItem && s.inChannel;
    if (inFeedItem) {
        if (s.feedTitle.empty() && !s.noTitleOnLine && FindNoCase(rest, "<TITLE>") < 0 &&
            FindNoCase(rest, "</TITLE>") < 0)
            s.noTitleOnLine = true;
        if (s.feedTitle.empty() && !s.noTitleOnLine) {
            s.feedTitle = ReadPageTitle(rest, 1);
            if (!s.feedTitle.empty()) {
                s.skipUntil = "</title>";
                return 0;
            }
        }
    } else if (m_strTitle.empty() && !s.noTitleOnLine) {
        if (FindNoCase(rest, "<TITLE>") < 0 && FindNoCase(rest, "</TITLE>") < 0)
            s.noTitleOnLine = true;
        else
            ReadPageTitle(rest, 0);
    }
    s.formLabel = ReadForm(rest, s.formOpen, lineTaken);
    ReadBaseHref(rest);
    ReadFrame(rest);
    if (inFeedItem) {
        if (s.feedLink.empty() && !s.noLinkOnLine && FindNoCase(rest, "<LINK>") < 0 &&
            FindNoCase(rest, "</LINK>") < 0)
            s.noLinkOnLine = true;
        if (s.feedLink.empty() && !s.noLinkOnLine) {
            s.feedLink = ReadFeedLink(rest);
            if (!s.feedLink.empty()) {
                s.skipUntil = "</link>";
                return 0;
            }
        }
        s.skipUntil = FeedElementEnd(rest);
        if (!s.skipUntil.empty())
            return 0;
    } else {
        s.anchorLabel = ReadAnchor(rest);
    }
    ReadMeta(rest);
    const int item = IsItemTag(rest);
    if (item == 1) {
        s.inItem = 1;
        output += "\r\n";
    } else if (item == 2) {
        s.inItem = 0;
        output += s.feedLink + s.feedTitle + "\r\n";
        s.feedTitle.clear();
        s.feedLink.clear();
        s.inTag = 1;
        return 5;
    }
    // The text before this tag goes out before the tag's own break or image
    // text, so the page reads in order.
    if (!flushed) {
        output += pending;
        pending.clear();
    }
    const std::string b = GetBreakText(rest);
    const std::string a = ReadImageAlt(rest);
    if (flushed)
        output = a + b + output;
    else
        output += b + a;
    if (s.inChannel && !s.inItem)
        output.clear();
    s.inTag = 1;
    return 0;
}
