// The result pages built from a real store in a file written by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "server/RankPages.h"

namespace {

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDb = ::testing::TempDir() + "pages_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db";
        Remove();
        std::string err;
        m_pStore = CRankStore::Open(m_strDb, err);
        ASSERT_TRUE(m_pStore) << err;
    }
    void TearDown() override {
        m_pStore.reset();
        Remove();
    }
    void Remove() {
        for (const char* ext : {"", "-wal", "-shm"})
            std::filesystem::remove(m_strDb + ext);
    }
    SSubmitResult Add(const std::string& name, int score, bool bVerified,
                      const std::string& aria = "Japan", int level = 1) {
        SSubmission s;
        s.rec.strName = name;
        s.rec.nScore = score;
        s.rec.nLevel = level;
        s.rec.strAria = aria;
        s.strClient = "10.0.0.1";
        s.nLimitPerMinute = 1000000;
        if (bVerified) {
            s.rec.bVerified = true;
            s.rec.strReplay = std::string(60, 'b') + std::to_string(1000 + m_nReplay++);
            s.strGame = "game " + s.rec.strReplay;
            EXPECT_EQ(m_pStore->StoreReplay(s.rec.strReplay, "game", "10.0.0.1", 1000),
                      EUpload::Stored);
        }
        return m_pStore->SubmitAndWait(s);
    }
    // The query as the server passes it: "a=1&b=2", values already decoded.
    int Page(const std::string& query, std::string& page) {
        std::map<std::string, std::string> keys;
        std::stringstream in(query);
        for (std::string kv; std::getline(in, kv, '&');) {
            const size_t eq = kv.find('=');
            keys[kv.substr(0, eq)] = eq == std::string::npos ? "" : kv.substr(eq + 1);
        }
        page.clear();
        return ResultPage(
            *m_pStore,
            [&keys](const char* key, std::string& value) {
                const auto it = keys.find(key);
                if (it == keys.end())
                    return false;
                value = it->second;
                return true;
            },
            page);
    }
    std::string m_strDb;
    std::unique_ptr<CRankStore> m_pStore;
    int m_nReplay = 0;
};

// Each table row's place and name, in page order.
std::vector<std::string> PlacesAndNames(const std::string& page) {
    std::vector<std::string> out;
    const std::regex row("<tr><td>([0-9]+)</td><td>([^<]*)</td>");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), row);
         it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1].str() + " " + (*it)[2].str());
    return out;
}

// The "Next page" link's query, as the browser would send it.
std::string NextQuery(const std::string& page) {
    std::smatch m;
    if (!std::regex_search(page, m, std::regex("href=\"GameResult.asp\\?([^\"]*)\">Next page")))
        return "";
    return std::regex_replace(m[1].str(), std::regex("&amp;"), "&");
}

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

}  // namespace

TEST_F(PagesTest, VerifiedRankedFirstUnverifiedApartPlacesAgreeWithReplies) {
    const SSubmitResult top = Add("cheat", 999999, false);
    const SSubmitResult v1 = Add("v1", 500, true);
    const SSubmitResult v2 = Add("v2", 500, true);
    const SSubmitResult v3 = Add("v3", 200, true, "Peru");
    Add("u2", 10, false);
    Add("tut", 700000, true, "Chad", 0);
    EXPECT_EQ(v2.nRank, 1);
    EXPECT_EQ(v3.nRank, 3);
    std::string page;
    ASSERT_EQ(Page("data=1", page), 200);
    EXPECT_EQ(PlacesAndNames(page),
              (std::vector<std::string>{"1 v1", "1 v2", "3 v3", "1 cheat", "2 u2"}));
    EXPECT_LT(page.find("<td>v3</td>"), page.find("<h2>Unverified records</h2>"));
    EXPECT_LT(page.find("<h2>Unverified records</h2>"), page.find("<td>cheat</td>"));
    EXPECT_FALSE(Has(page, "tut"));  // the tutorial ranks in no game ranking
    EXPECT_TRUE(
        Has(page, "/game/quibbix/Replay.asp?id=" + std::to_string(v1.rec.nId) + "\">Replay</a>"));
    EXPECT_FALSE(Has(page, "Replay.asp?id=" + std::to_string(top.rec.nId) + "\""));

    ASSERT_EQ(Page("data=2", page), 200);
    EXPECT_TRUE(Has(page, "<td>Japan</td><td>2</td><td>500</td>")) << page;
    EXPECT_FALSE(Has(page, "Chad"));
    ASSERT_EQ(Page("data=2&aria=Peru", page), 200);
    // An area's page shows the places of the whole ranking, as the reply did.
    EXPECT_EQ(PlacesAndNames(page), (std::vector<std::string>{"3 v3"}));
    EXPECT_TRUE(Has(page, "Place overall"));
    ASSERT_EQ(Page("data=0", page), 200);
    EXPECT_TRUE(Has(page, "<td>tut</td><td>Chad</td><td>700000</td><td>Tutorial</td><td>yes</td>"))
        << page;
}

// Other areas' records rank between an area's: its page places each row in
// the whole ranking, as the reply did, on every page of the area.
TEST_F(PagesTest, AnAreasPlacesCountTheRecordsOfOtherAreasBetween) {
    EXPECT_EQ(Add("p200", 200, true, "Peru").nRank, 1);
    EXPECT_EQ(Add("j150", 150, true, "Japan").nRank, 2);
    const SSubmitResult p100 = Add("p100", 100, true, "Peru");
    EXPECT_EQ(p100.nRank, 3);
    Add("j100", 100, true, "Japan");
    Add("j90", 90, true, "Japan");
    EXPECT_EQ(Add("p80", 80, true, "Peru").nRank, 6);
    Add("pu", 70, false, "Peru");
    Add("ju", 75, false, "Japan");
    std::string page;
    ASSERT_EQ(Page("data=2&aria=Peru", page), 200);
    EXPECT_EQ(PlacesAndNames(page),
              (std::vector<std::string>{"1 p200", "3 p100", "6 p80", "2 pu"}));
    // Past the first page of an area: the same places.
    for (int i = 0; i < 60; ++i)
        Add("j" + std::to_string(i), 1000 + i, true, "Japan");
    Add("p1500", 1500, true, "Peru");
    for (int i = 0; i < 50; ++i)
        Add("p" + std::to_string(i), 50, true, "Peru");
    ASSERT_EQ(Page("data=2&aria=Peru", page), 200);
    std::vector<std::string> places = PlacesAndNames(page);
    ASSERT_EQ(places.size(), 50u);
    EXPECT_EQ(places[0], "1 p1500");
    EXPECT_EQ(places[1], "62 p200");
    EXPECT_EQ(places[2], "64 p100");
    EXPECT_EQ(places[3], "67 p80");
    EXPECT_EQ(places[4], "68 p0");
    const std::string next = NextQuery(page);
    ASSERT_FALSE(next.empty());
    ASSERT_EQ(Page(next, page), 200);
    places = PlacesAndNames(page);
    ASSERT_FALSE(places.empty());
    EXPECT_EQ(places[0].substr(0, 3), "68 ");
}

TEST_F(PagesTest, NextPageLinksWalkEveryRowOnceAcrossTies) {
    for (int i = 0; i < 130; ++i)
        Add("v" + std::to_string(i), (i % 4) * 10, true);
    for (int i = 0; i < 60; ++i)
        Add("u" + std::to_string(i), 5, false);
    std::vector<std::string> seen;
    std::string query = "data=1", page;
    int pages = 0;
    while (!query.empty() && pages++ < 20) {
        ASSERT_EQ(Page(query, page), 200) << query;
        const auto rows = PlacesAndNames(page);
        seen.insert(seen.end(), rows.begin(), rows.end());
        query = NextQuery(page);
    }
    ASSERT_EQ(seen.size(), 190u);
    // Places: 1 + those strictly higher, within each state.
    EXPECT_EQ(seen[0], "1 v3");
    EXPECT_EQ(seen[32], "33 v2");
    EXPECT_EQ(seen[64], "65 v1");  // placed from the page's first row
    EXPECT_EQ(seen[97], "98 v0");
    EXPECT_EQ(seen[129], "98 v128");
    EXPECT_EQ(seen[130], "1 u0");
    EXPECT_EQ(seen[189], "1 u59");
    std::set<std::string> unique(seen.begin(), seen.end());
    EXPECT_EQ(unique.size(), seen.size());

    // Newest: by id, "after=ID".
    ASSERT_EQ(Page("data=0", page), 200);
    query = NextQuery(page);
    EXPECT_TRUE(std::regex_match(query, std::regex("data=0&after=[0-9]+"))) << query;
    ASSERT_EQ(Page(query, page), 200);
    const std::regex name("<tr><td>([^<]*)</td>");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(page, m, name));
    EXPECT_EQ(m[1].str(), "u9");
}

TEST_F(PagesTest, DeepNumberedPagesAndMalformedStartsAreRefused) {
    Add("a", 10, true);
    std::string page;
    EXPECT_EQ(Page("data=1&page=20", page), 200);
    EXPECT_EQ(Page("data=0&page=20", page), 200);
    for (const char* q :
         {"data=0&page=21", "data=1&page=100000", "data=2&aria=Japan&page=21", "data=1&after=10",
          "data=1&after=x.1", "data=1&after=10.", "data=1&after=-1.5", "data=1&after=10.0",
          "data=0&after=0", "data=0&after=99999999999999999999", "data=3",
          "data=", "data=2&aria=Mars"}) {
        EXPECT_EQ(Page(q, page), 400) << q;
        EXPECT_TRUE(Has(page, "Next page")) << q;  // says how to go deeper
        EXPECT_TRUE(Has(page, "</html>")) << q;
    }
    EXPECT_EQ(Page("data=1&after=1000000.999", page), 200);
    EXPECT_EQ(PlacesAndNames(page), (std::vector<std::string>{"1 a"}));
}
