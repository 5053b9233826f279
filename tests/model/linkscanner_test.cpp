#include "model/linkscanner.h"

#include <algorithm>
#include <random>

#include "platform/textfile.h"
#include "support/temphome.h"

namespace {

struct CLink {
    std::string url;
    std::string anchorName;
    bool operator==(const CLink&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CLink& link) {
    return out << "{" << link.url << " | " << link.anchorName << "}";
}

std::vector<CLink> Zip(const StringList& urls, const StringList& names) {
    EXPECT_EQ(urls.size(), names.size());
    std::vector<CLink> links;
    for (std::size_t i = 0; i < std::min(urls.size(), names.size()); ++i) {
        links.push_back({urls[i], names[i]});
    }
    return links;
}

// Feeds text in pieces of the given size, to cross block boundaries everywhere.
std::vector<CLink> ScanText(const std::string& text, std::size_t piece = 0,
                            CScanOptions options = {}) {
    StringList urls;
    StringList names;
    CLinkScanner scanner(urls, names, nullptr, CLinkScanner::kDefaultWorkBlock, options);
    if (piece == 0) {
        piece = std::max<std::size_t>(text.size(), 1);
    }
    for (std::size_t at = 0; at < text.size(); at += piece) {
        scanner.Feed(text.data() + at, std::min(piece, text.size() - at));
    }
    scanner.Finish();
    return Zip(urls, names);
}

// A second, deliberately plain formulation of the rules: pass 1 byte by byte into a real
// work file, pass 2 reading it back with the text-mode line reader, each chunk cut with an
// upper-cased copy and plain finds.
namespace naive {

std::string Segment(const std::string& text) {
    std::string run;
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            run += c;
        }
    }
    std::size_t next = 0;
    const auto read = [&]() { return next < run.size() ? run[next++] : -1; };
    std::string work;
    bool copying = false;
    int first = read();
    int second = read();
    while (first != -1 && second != -1) {
        if (first == '<' && (second == 'A' || second == 'a')) {
            copying = true;
            work += "\r\n";
            first = read();
            second = read();
        } else {
            if (copying) {
                work += static_cast<char>(first);
            }
            first = second;
            second = read();
        }
    }
    return work;
}

std::string Trim(std::string text, bool left) {
    const char* blanks = " \t\n\v\f\r";
    text.erase(text.find_last_not_of(blanks) + 1);
    if (left) {
        text.erase(0, std::min(text.find_first_not_of(blanks), text.size()));
    }
    return text;
}

void ExtractFromChunk(const std::string& chunk, std::vector<CLink>& links, bool https) {
    std::string upper = chunk;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; });
    std::size_t start = upper.find("HTTP://");
    if (https) {
        start = std::min(start, upper.find("HTTPS://"));
    }
    if (start == std::string::npos) {
        start = upper.find("FTP://");
    }
    if (start == std::string::npos || start == 0) {
        return;
    }
    const std::size_t quote = chunk.find('"', start);
    if (quote == std::string::npos) {
        return;
    }
    const std::size_t close = chunk.find('>', quote);
    if (close == std::string::npos) {
        return;
    }
    std::size_t end = chunk.find("</A", close);
    if (end == std::string::npos) {
        end = chunk.find("</a", close);
    }
    if (end == std::string::npos) {
        end = chunk.find('<', close);
    }
    if (end == std::string::npos) {
        return;
    }
    std::string anchor = chunk.substr(close + 1, end - close - 1);
    if (anchor.empty()) {
        anchor = kSuppliedAnchorName;
    } else {
        std::replace(anchor.begin(), anchor.end(), '\t', ' ');
        anchor = Trim(anchor, true);
    }
    links.push_back({Trim(chunk.substr(start, quote - start), false), anchor});
}

std::vector<CLink> Scan(const std::string& text, const std::string& workPath, bool https = false) {
    WriteFile(workPath, Segment(text));
    const platform::CFilePtr work = platform::OpenFile(workPath, "rb");
    platform::CTextModeReader reader(work.get());
    std::vector<CLink> links;
    std::string chunk;
    while (reader.ReadLine(chunk, 1000)) {
        ExtractFromChunk(chunk, links, https);
    }
    return links;
}

}  // namespace naive

class Scanner : public CTempHomeTest {
protected:
    std::vector<CLink> ScanPath(const std::string& text, CScanOptions options = {}) {
        WriteFile(m_scratch / "page.htm", text);
        StringList urls;
        StringList names;
        EXPECT_EQ(ScanLinks(m_scratch / "page.htm", m_scratch / "work", urls, names, options),
                  ScanResult::Scanned);
        return Zip(urls, names);
    }

    // Feeds text in pieces of the given size to a scanner whose work block holds workBlock
    // bytes, writing the segments to the file "pieces-work".
    std::vector<CLink> ScanPieces(const std::string& text, std::size_t piece,
                                  std::size_t workBlock) {
        StringList urls;
        StringList names;
        {
            const platform::CFilePtr work = platform::OpenFile(m_scratch / "pieces-work", "wb");
            CLinkScanner scanner(urls, names, work.get(), workBlock);
            for (std::size_t at = 0; at < text.size(); at += piece) {
                scanner.Feed(text.data() + at, std::min(piece, text.size() - at));
            }
            scanner.Finish();
        }
        return Zip(urls, names);
    }

    // The links and the work file of every cut of text into pieces of the given sizes, through
    // work blocks of the given sizes, are those of the plain formulation.
    void ExpectAgreement(const std::string& text, const std::vector<std::size_t>& pieces,
                         const std::vector<std::size_t>& workBlocks) {
        const std::vector<CLink> expected = naive::Scan(text, m_scratch / "naive-work");
        const std::string expectedWork = ReadFile(m_scratch / "naive-work");
        for (const std::size_t piece : pieces) {
            for (const std::size_t workBlock : workBlocks) {
                ASSERT_EQ(ScanPieces(text, piece, workBlock), expected)
                    << "pieces of " << piece << ", work block " << workBlock;
                ASSERT_EQ(ReadFile(m_scratch / "pieces-work"), expectedWork)
                    << "pieces of " << piece << ", work block " << workBlock;
            }
        }
    }
};

std::vector<std::size_t> Sizes(std::size_t from, std::size_t to) {
    std::vector<std::size_t> sizes;
    for (std::size_t size = from; size <= to; ++size) {
        sizes.push_back(size);
    }
    return sizes;
}

const std::string kWorkedExample =
    "<P>Top <a href=\"http://h/a.htm\">Page A</a> and\r\n<A HREF=\"b.htm\">B</A> "
    "<A HREF='http://h/c.htm'>C</A> <A HREF=\"ftp://h/d.zip\">\r\n<B>D</B></A>";

TEST_F(Scanner, WorkedExampleYieldsTwoLinksAndItsSegments) {
    EXPECT_EQ(ScanPath(kWorkedExample),
              (std::vector<CLink>{{"http://h/a.htm", "Page A"}, {"ftp://h/d.zip", "<B>D</B>"}}));
    EXPECT_EQ(ReadFile(m_scratch / "work"),
              "\r\n href=\"http://h/a.htm\">Page A</a> and"
              "\r\n HREF=\"b.htm\">B</A> "
              "\r\n HREF='http://h/c.htm'>C</A> "
              "\r\n HREF=\"ftp://h/d.zip\"><B>D</B></A");
}

TEST_F(Scanner, FilesWithoutAnchorsYieldNothing) {
    EXPECT_TRUE(ScanPath("").empty());
    EXPECT_TRUE(ScanPath("<P>see http://h/x.htm \"q\" > r<IMG SRC=\"http://h/i.gif\">").empty());
    EXPECT_EQ(ReadFile(m_scratch / "work"), "");
}

TEST(ScannerRules, TheEdgeCasesOfTheLinkRules) {
    const std::string supplied = kSuppliedAnchorName;
    const std::vector<std::pair<std::string, std::vector<CLink>>> cases = {
        {"<a href=\"HTTP://Host/Page.HTM\">x</a>", {{"HTTP://Host/Page.HTM", "x"}}},
        {"<A HREF=\"http://h/a\nb.htm\">x</A>", {{"http://h/ab.htm", "x"}}},
        {"<A HREF=\"http://h/a.htm\"></A>", {{"http://h/a.htm", supplied}}},
        {"<A HREF=\"http://h/a.htm\">\t \t</A>", {{"http://h/a.htm", ""}}},
        {"<A HREF=\"http://h/a.htm\">One\tTwo </A>", {{"http://h/a.htm", "One Two"}}},
        // The segment runs past the anchor's end, and any http:// link in it beats ftp://.
        {"<A HREF=\"ftp://h/f\">f</A> <B HREF=\"http://h/w\">w</B>", {{"http://h/w", "w"}}},
        {"<A HREF=\"ftp://h/f\" X=\"http://h/w\">w</A>", {{"http://h/w", "w"}}},
        {"<A HREF=\"https://h/a.htm\">x</A>", {}},
        {"<A HREF=\"sftp://h/x\">y</A>", {{"ftp://h/x", "y"}}},
        {"<AREA HREF=\"http://h/m.htm\" ALT=\"m\"><P>z</P>", {{"http://h/m.htm", supplied}}},
        {"<A HREF=\"http://h/s\">1</A><A HREF=\"http://h/s\">2</A>",
         {{"http://h/s", "1"}, {"http://h/s", "2"}}},
        {"<A NAME=\"top\"></A> text http://h/x.htm \"q\" > r<P>", {{"http://h/x.htm", "r"}}},
        {"<A HREF=\"http://h/a.htm  \">x</A>", {{"http://h/a.htm", "x"}}},
        {"<A HREF=http://h/a.htm>x</A>", {}},
        {"<A HREF=\"b.htm\">B</A> <A HREF=\"mailto:x@y\">m</A> <A HREF=\"#n\">n</A>", {}},
        // The link need not sit in the HREF, and markup inside the anchor stays in the name.
        {"<A HREF=\"x.htm\"><IMG SRC=\"http://h/i.gif\"></A>",
         {{"http://h/i.gif", supplied}}},
        {"<A HREF=\"http://h/a\"><B>bold</B> text</a>", {{"http://h/a", "<B>bold</B> text"}}},
        // "<<A" opens a segment at the second "<"; "<" alone at the very end is not copied.
        {"<<A HREF=\"http://h/z\">z</A><", {{"http://h/z", "z"}}},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ScanText(text), expected) << text;
    }
}

TEST(ScannerRules, HttpsLinksAreCollectedOnlyWhenAsked) {
    const CScanOptions https{true};
    const std::string supplied = kSuppliedAnchorName;
    struct CCase {
        std::string text;
        std::vector<CLink> byDefault;
        std::vector<CLink> withHttps;
    };
    const std::vector<CCase> cases = {
        {"<A HREF=\"https://h/a.htm\">x</A>", {}, {{"https://h/a.htm", "x"}}},
        {"<a href=\"HtTpS://Host/P.HTM\">x</a>", {}, {{"HtTpS://Host/P.HTM", "x"}}},
        // The earlier of http:// and https:// wins, whichever it is.
        {"<A HREF=\"https://h/s\" X=\"http://h/p\">x</A>",
         {{"http://h/p", "x"}},
         {{"https://h/s", "x"}}},
        {"<A HREF=\"http://h/p\" X=\"https://h/s\">x</A>",
         {{"http://h/p", "x"}},
         {{"http://h/p", "x"}}},
        // ftp:// counts only when neither occurs.
        {"<A HREF=\"ftp://h/f\" X=\"https://h/s\">x</A>",
         {{"ftp://h/f", "x"}},
         {{"https://h/s", "x"}}},
        {"<A HREF=\"ftp://h/f\">x</A>", {{"ftp://h/f", "x"}}, {{"ftp://h/f", "x"}}},
        // The same cuts as for http://: a match at position 0 and an unquoted link yield
        // nothing, and the anchor name follows the same rules.
        {"<Ahttps://h/a\">x</A>", {}, {}},
        {"<A HREF=https://h/a.htm>x</A>", {}, {}},
        {"<A HREF=\"https://h/a.htm  \"></A>", {}, {{"https://h/a.htm", supplied}}},
        {"<A HREF=\"https://h/a\nb\">One\tTwo </A>", {}, {{"https://h/ab", "One Two"}}},
        {"<A HREF=\"shttps://h/x\">y</A>", {}, {{"https://h/x", "y"}}},
        {"<A HREF=\"httpss://h/x\">y</A>", {}, {}},
    };
    for (const CCase& c : cases) {
        EXPECT_EQ(ScanText(c.text), c.byDefault) << c.text;
        EXPECT_EQ(ScanText(c.text, 0, https), c.withHttps) << c.text;
        EXPECT_EQ(ScanText(c.text, 3, https), c.withHttps) << c.text;
    }
}

TEST(ScannerRules, AMatchAtTheStartOfAChunkYieldsNothing) {
    // The segment after "<A" begins with "http://": position 0 of its chunk.
    EXPECT_TRUE(ScanText("<Ahttp://h/a\">x</A>").empty());
    EXPECT_EQ(ScanText("<A http://h/a\">x</A>"), (std::vector<CLink>{{"http://h/a", "x"}}));
}

// "<A", then padding, then an anchor whose segment text is 27 characters long.
std::string PaddedAnchor(std::size_t segmentLength) {
    return "<A" + std::string(segmentLength - 27, ' ') + " HREF=\"http://h/a.htm\">x</A>";
}

TEST(ScannerChunks, ALongSegmentIsExaminedIn999CharacterChunks) {
    const std::vector<CLink> found = {{"http://h/a.htm", "x"}};
    EXPECT_EQ(ScanText(PaddedAnchor(999)), found);
    // The 1001st character "<" ends the anchor text: the first chunk still holds "x<".
    EXPECT_EQ(ScanText(PaddedAnchor(1001)), found);
    // The first chunk now ends in "x" with no "<" after it, and the next chunk, "</A", holds
    // no link: a link whose anchor end lies in a later chunk is lost.
    EXPECT_TRUE(ScanText(PaddedAnchor(1002)).empty());
    // A link wholly inside a later chunk of the segment is found there.
    const std::string later = "<A" + std::string(999, ' ') + " HREF=\"http://h/b\">y</A>";
    EXPECT_EQ(ScanText(later), (std::vector<CLink>{{"http://h/b", "y"}}));
}

TEST(ScannerChunks, EverySegmentStartsAChunkOfItsOwn) {
    // Chunks restart at every line of the work file: a second segment that would straddle a
    // 999-character boundary counted from the start of the file is still whole.
    const std::string text = PaddedAnchor(990) + "<A HREF=\"http://h/b\">y</A>";
    EXPECT_EQ(ScanText(text), (std::vector<CLink>{{"http://h/a.htm", "x"}, {"http://h/b", "y"}}));
}

TEST(ScannerStreaming, PiecesOfAnySizeGiveTheSameLinks) {
    const std::string text = kWorkedExample + "<a href=\"http://x/<<Aa\">q</a><";
    const std::vector<CLink> whole = ScanText(text);
    for (std::size_t piece = 1; piece < 12; ++piece) {
        EXPECT_EQ(ScanText(text, piece), whole) << piece;
    }
}

TEST_F(Scanner, AgreesWithAPlainFormulationOnRandomPages) {
    // Pages built from the fragments that matter to the rules, with line breaks anywhere.
    const std::vector<std::string> fragments = {
        "<A", "<a", "<", "A", "\"", ">", "</A", "</a", "</A>", " ", "\t", "\r\n", "\n", "\r",
        "http://", "HTTP://", "ftp://", "Ftp://", "host/p.htm", "text", "<B>", "<AREA ", "x",
        std::string(300, 'w'), std::string(1, '\0')};
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round) {
        std::string page;
        const int length = std::uniform_int_distribution<int>(0, 120)(random);
        for (int i = 0; i < length; ++i) {
            page += fragments[std::uniform_int_distribution<std::size_t>(
                0, fragments.size() - 1)(random)];
        }
        const std::vector<CLink> expected = naive::Scan(page, m_scratch / "naive-work");
        ASSERT_EQ(ScanPath(page), expected) << "round " << round;
        ASSERT_EQ(ReadFile(m_scratch / "work"), ReadFile(m_scratch / "naive-work"))
            << "round " << round;
        ASSERT_EQ(ScanText(page, 7), expected) << "round " << round;
        const std::size_t piece = 1 + static_cast<std::size_t>(round) % 13;
        const std::size_t workBlock = 2 + static_cast<std::size_t>(round) % 11;
        ASSERT_EQ(ScanPieces(page, piece, workBlock), expected) << "round " << round;
        ASSERT_EQ(ReadFile(m_scratch / "pieces-work"), ReadFile(m_scratch / "naive-work"))
            << "round " << round;
    }
}

TEST_F(Scanner, WithHttpsItAgreesWithAPlainFormulationAndWritesTheSameWorkFile) {
    const std::vector<std::string> fragments = {"<A",
                                                "<a",
                                                "\"",
                                                ">",
                                                "</A>",
                                                " ",
                                                "\r\n",
                                                "http://",
                                                "https://",
                                                "HTTPS://",
                                                "Https:/",
                                                "ftp://",
                                                "s",
                                                "host/p.htm",
                                                "<B>",
                                                "x",
                                                std::string(300, 'w')};
    std::mt19937 random(20261208);
    for (int round = 0; round < 200; ++round) {
        std::string page;
        const int length = std::uniform_int_distribution<int>(0, 120)(random);
        for (int i = 0; i < length; ++i) {
            page += fragments[std::uniform_int_distribution<std::size_t>(
                0, fragments.size() - 1)(random)];
        }
        const std::vector<CLink> expected = naive::Scan(page, m_scratch / "naive-work", true);
        ASSERT_EQ(ScanPath(page, CScanOptions{true}), expected) << "round " << round;
        ASSERT_EQ(ReadFile(m_scratch / "work"), ReadFile(m_scratch / "naive-work"))
            << "round " << round;
        ASSERT_EQ(ScanText(page, 1 + static_cast<std::size_t>(round) % 13, CScanOptions{true}),
                  expected)
            << "round " << round;
        ASSERT_EQ(ScanPath(page), naive::Scan(page, m_scratch / "naive-work")) << "round " << round;
    }
}

TEST_F(Scanner, LineBreaksBetweenTheLessAndTheAStillOpenASegment) {
    EXPECT_EQ(ScanPath("x<\r\nA HREF=\"http://h/a\">a</A> <\n\r\na href=\"http://h/b\">b</a>."),
              (std::vector<CLink>{{"http://h/a", "a"}, {"http://h/b", "b"}}));
    EXPECT_EQ(ReadFile(m_scratch / "work"),
              "\r\n HREF=\"http://h/a\">a</A> \r\n href=\"http://h/b\">b</a>");
    // Followed by anything else, the "<" is text like any other.
    EXPECT_EQ(ScanPath("<A HREF=\"http://h/a\">a<\r\nB>!"),
              (std::vector<CLink>{{"http://h/a", "a"}}));
    EXPECT_EQ(ReadFile(m_scratch / "work"), "\r\n HREF=\"http://h/a\">a<B>");
}

TEST_F(Scanner, TheLastCharacterIsLeftOutEvenBeforeTrailingLineBreaks) {
    EXPECT_EQ(ScanPath("<A HREF=\"http://h/a\">a</A>\r\n\r\n"),
              (std::vector<CLink>{{"http://h/a", "a"}}));
    EXPECT_EQ(ReadFile(m_scratch / "work"), "\r\n HREF=\"http://h/a\">a</A");
    ScanPath("<A HREF=\"http://h/a\">a</A><\r\n");
    EXPECT_EQ(ReadFile(m_scratch / "work"), "\r\n HREF=\"http://h/a\">a</A>");
}

TEST_F(Scanner, PairsAndLineBreaksCutAnywhereAgreeWithThePlainFormulation) {
    // Every cut into pieces, through work blocks so small that a "<" still waiting for its
    // "A", a CR LF or a line's end falls on a block boundary somewhere.
    const std::string text = "ab<\r\nA x=\"http://h/1\">1</A>\r\n<<a\n\"ftp://h/2\">2<\r\n</a>\r"
                             "<\rQ<a\"http://h/3\">\n<";
    ExpectAgreement(text, Sizes(1, text.size()), Sizes(2, 9));
}

TEST_F(Scanner, ChunksAcrossWorkBlocksAgreeWithThePlainFormulation) {
    // Segments of about one chunk and one of several chunks, cut and gathered around the
    // chunk's size, so that chunks are put together across block boundaries.
    const std::string text = PaddedAnchor(998) + PaddedAnchor(999) + PaddedAnchor(1000) +
                             PaddedAnchor(1001) + "<a" + std::string(2500, 'w') +
                             " href=\"http://h/c\">c</a> x";
    ExpectAgreement(text, {1, 7, 998, 999, 1000, text.size()},
                    {2, 3, 500, 998, 999, 1000, 1001, CLinkScanner::kDefaultWorkBlock});
}

TEST_F(Scanner, RunsLongerThanTheBlocksAgreeWithThePlainFormulation) {
    // ScanLinks reads 1 MiB at a time and writes the segments 1 MiB at a time. The page has
    // a run longer than either block, a pair cut by the end of the second read block, and
    // a "<" and its "A" on either side of a CR LF that the end of the third one cuts.
    const std::size_t mebibyte = std::size_t{1} << 20;
    std::string page = "<A HREF=\"http://h/first\">first</A>" + std::string(mebibyte + 100, 'w');
    page.resize(2 * mebibyte - 1, 'v');
    page += "<A HREF=\"http://h/second\">second</A>";
    page.resize(3 * mebibyte - 2, 'u');
    page += "<\r\nA HREF=\"http://h/third\">third</A>";
    const std::vector<CLink> expected = naive::Scan(page, m_scratch / "naive-work");
    EXPECT_EQ(expected, (std::vector<CLink>{{"http://h/first", "first"},
                                            {"http://h/second", "second"},
                                            {"http://h/third", "third"}}));
    EXPECT_EQ(ScanPath(page), expected);
    EXPECT_TRUE(ReadFile(m_scratch / "work") == ReadFile(m_scratch / "naive-work"));
}

TEST_F(Scanner, AnyBytesAreScannedWithoutHarm) {
    std::string binary;
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
        binary += static_cast<char>(random());
    }
    binary += "<A HREF=\"http://h/after-binary\">tail</A>";
    const std::vector<CLink> links = ScanPath(binary);
    ASSERT_FALSE(links.empty());
    EXPECT_EQ(links.back(), (CLink{"http://h/after-binary", "tail"}));
}

TEST_F(Scanner, UnreadableInputsAndWorkFilesFail) {
    StringList urls;
    StringList names;
    EXPECT_EQ(ScanLinks(m_scratch / "missing.htm", m_scratch / "work", urls, names),
              ScanResult::InputUnreadable);
    EXPECT_EQ(ScanLinks(m_scratch.Path(), m_scratch / "work", urls, names),
              ScanResult::InputUnreadable)
        << "a directory is not a file";
    WriteFile(m_scratch / "page.htm", "<A HREF=\"http://h/a\">a</A>");
    EXPECT_EQ(ScanLinks(m_scratch / "page.htm", m_scratch / "no/such/dir/work", urls, names),
              ScanResult::WorkFileUnwritable);
    EXPECT_TRUE(urls.empty());
    EXPECT_TRUE(names.empty());
}

}  // namespace
