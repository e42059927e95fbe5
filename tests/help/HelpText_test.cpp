// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's text rules: the argument it is started with, page URLs, the
// #SYSTEM record and the contents and index files.
#include "ChmFile.h"
#include "HelpTopic.h"
#include "Sitemap.h"

#include <gtest/gtest.h>

using namespace varrowhelp;

TEST(HelpArgument, SplitsFileAndTopic) {
    const struct {
        const char* argument;
        const char* file;
        const char* topic;
    } cases[] = {
        {"/opt/varrow/Varrow.chm::/optionstab.htm", "/opt/varrow/Varrow.chm", "/optionstab.htm"},
        {"/opt/varrow/Varrow.chm::/extractcdtomp3.htm#ExtractionProgress", "/opt/varrow/Varrow.chm",
         "/extractcdtomp3.htm#ExtractionProgress"},
        {"/opt/varrow/Varrow.chm", "/opt/varrow/Varrow.chm", ""},
        {"/opt/varrow/Varrow.chm::abouttab.htm", "/opt/varrow/Varrow.chm", "/abouttab.htm"},
        {"/opt/varrow/Varrow.chm::", "/opt/varrow/Varrow.chm", ""},
        {"mk:@MSITStore:/a b/Varrow.chm::/mainwindow.htm", "/a b/Varrow.chm", "/mainwindow.htm"},
        {"MS-ITS:/a/Varrow.chm::/mainwindow.htm", "/a/Varrow.chm", "/mainwindow.htm"},
        {"  /a/Varrow.chm::/mainwindow.htm\n", "/a/Varrow.chm", "/mainwindow.htm"},
    };
    for (const auto& c : cases) {
        const HelpArgument parsed = parseHelpArgument(QString::fromUtf8(c.argument));
        EXPECT_EQ(parsed.file, QString::fromUtf8(c.file)) << c.argument;
        EXPECT_EQ(parsed.topic, QString::fromUtf8(c.topic)) << c.argument;
    }
}

TEST(TopicUrl, KeepsPageAndAnchorAndResolvesRelativeLinks) {
    const QUrl url = topicUrl(QStringLiteral("/extractcdtomp3.htm#MP3CompressionOptions"));
    EXPECT_EQ(chmPathOf(url), "/extractcdtomp3.htm");
    EXPECT_EQ(url.fragment(), "MP3CompressionOptions");
    EXPECT_EQ(chmPathOf(topicUrl(QStringLiteral("optionstab.htm"))), "/optionstab.htm");
    EXPECT_EQ(chmPathOf(topicUrl(QStringLiteral("/my page.htm"))), "/my page.htm");

    const QUrl page = topicUrl(QStringLiteral("/guide/intro.htm"));
    EXPECT_EQ(chmPathOf(page.resolved(QUrl(QStringLiteral("shot.png")))), "/guide/shot.png");
    EXPECT_EQ(chmPathOf(page.resolved(QUrl(QStringLiteral("../top.htm")))), "/top.htm");
    EXPECT_EQ(chmPathOf(page.resolved(QUrl(QStringLiteral("/style.css")))), "/style.css");
    EXPECT_EQ(chmPathOf(page.resolved(QUrl(QStringLiteral("my%20page.htm")))),
              "/guide/my page.htm");
    EXPECT_EQ(chmPathOf(QUrl(QStringLiteral("https://example.org/a.htm"))), "");
}

namespace {

QByteArray systemRecord(const std::vector<std::pair<quint16, QByteArray>>& entries) {
    QByteArray record("\x03\x00\x00\x00", 4);
    for (const auto& [code, data] : entries) {
        const auto length = static_cast<quint16>(data.size());
        record += char(code & 0xFF);
        record += char(code >> 8);
        record += char(length & 0xFF);
        record += char(length >> 8);
        record += data;
    }
    return record;
}

} // namespace

TEST(SystemRecord, ReadsNamedFilesAndTitle) {
    const ChmSystemInfo info =
        parseSystemRecord(systemRecord({{9, QByteArray("chmcmd\0", 7)},
                                        {2, QByteArray("introduction.htm\0", 17)},
                                        {3, QByteArray("Varrow Help\0", 12)},
                                        {0, QByteArray("Varrow.hhc\0", 11)},
                                        {1, QByteArray("Varrow.hhk\0", 11)}}));
    EXPECT_EQ(info.defaultTopic, "/introduction.htm");
    EXPECT_EQ(info.title, "Varrow Help");
    EXPECT_EQ(info.contentsFile, "/Varrow.hhc");
    EXPECT_EQ(info.indexFile, "/Varrow.hhk");
}

TEST(SystemRecord, EntryRunningPastTheEndIsIgnored) {
    QByteArray record = systemRecord({{3, QByteArray("Title\0", 6)}});
    // A contents entry that claims 200 bytes where 4 follow.
    record += QByteArray("\x00\x00\xC8\x00"
                         "a.hh",
                         8);
    const ChmSystemInfo info = parseSystemRecord(record);
    EXPECT_EQ(info.title, "Title");
    EXPECT_TRUE(info.contentsFile.isEmpty());
    EXPECT_TRUE(parseSystemRecord(QByteArray("\x01\x00", 2)).title.isEmpty());
}

namespace {

QStringList names(const std::vector<SitemapEntry>& entries) {
    QStringList result;
    for (const SitemapEntry& entry : entries)
        result << entry.name + QLatin1Char('=') + entry.local;
    return result;
}

} // namespace

TEST(Sitemap, NestedListsBecomeChildren) {
    const QByteArray text = R"(<HTML><BODY>
<OBJECT type="text/site properties"><param name="ImageType" value="Folder"></OBJECT>
<UL>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="Start"><param name="Local" value="a.htm"></OBJECT>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="Using"></OBJECT>
  <UL>
    <LI><OBJECT type="text/sitemap"><param name="Name" value="Tracks"><param name="Local" value="t.htm#Sel"></OBJECT>
    <UL><LI><OBJECT type="text/sitemap"><param name="Name" value="Deep"><param name="Local" value="d.htm"></OBJECT></UL>
    <LI><OBJECT type="text/sitemap"><param name="Name" value="Play"><param name="Local" value="p.htm"></OBJECT>
  </UL>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="End"><param name="Local" value="e.htm"></OBJECT>
</UL></BODY></HTML>)";
    const std::vector<SitemapEntry> top = parseSitemap(text);
    ASSERT_EQ(names(top), QStringList({"Start=a.htm", "Using=", "End=e.htm"}));
    ASSERT_EQ(names(top[1].children), QStringList({"Tracks=t.htm#Sel", "Play=p.htm"}));
    EXPECT_EQ(names(top[1].children[0].children), QStringList({"Deep=d.htm"}));
    EXPECT_TRUE(top[0].children.empty());
}

TEST(Sitemap, ToleratesWhatGeneratorsWrite) {
    const struct {
        const char* what;
        QByteArray text;
        QStringList top;
    } cases[] = {
        {"lower case, single quotes, bare values",
         "<ul><li><object type='text/sitemap'><param name=name value='A b'>"
         "<param name=local value=a.htm></object></ul>",
         {"A b=a.htm"}},
        {"entities in values",
         R"(<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="Tom &amp; Jerry &#233;&#x41;"><param name="Local" value="a.htm"></OBJECT></UL>)",
         {"Tom & Jerry \u00e9A=a.htm"}},
        {"several pages: the first is kept",
         R"(<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="K"><param name="Local" value="1.htm"><param name="Name" value="K2"><param name="Local" value="2.htm"></OBJECT></UL>)",
         {"K=1.htm"}},
        {"entry without a name and comments are passed over",
         R"(<!-- <OBJECT type="text/sitemap"><param name="Name" value="hidden"></OBJECT> --><UL><LI><OBJECT type="text/sitemap"><param name="Local" value="x.htm"></OBJECT><LI><OBJECT type="text/sitemap"><param name="Name" value="B"></OBJECT></UL>)",
         {"B="}},
        {"more lists closed than opened",
         R"(</UL></UL><UL><LI><OBJECT type="text/sitemap"><param name="Name" value="A"></OBJECT></UL></UL>)",
         {"A="}},
        {"a list opened before any entry joins the one around it",
         R"(<UL><UL><LI><OBJECT type="text/sitemap"><param name="Name" value="A"></OBJECT></UL><LI><OBJECT type="text/sitemap"><param name="Name" value="B"></OBJECT></UL>)",
         {"A=", "B="}},
        {"text cut off inside a tag",
         R"(<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="A"></OBJECT><LI><OBJECT type="text/sitemap"><param name="Name" value="B)",
         {"A="}},
        {"Latin-1 text",
         QByteArray("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
                    "value=\"Caf\xe9\"></OBJECT></UL>"),
         {"Caf\u00e9="}},
        {"empty", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names(parseSitemap(c.text)), c.top) << c.what;
}

TEST(Sitemap, NestingDeeperThanTheLimitStaysAtTheLimit) {
    QByteArray text;
    const int depth = MaxSitemapDepth + 40;
    for (int level = 0; level < depth; ++level)
        text += "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"L" +
                QByteArray::number(level) + "\"></OBJECT>";
    text += QByteArray(depth * 5, ' ').replace("     ", "</UL>");
    const std::vector<SitemapEntry>* level = nullptr;
    std::vector<SitemapEntry> top = parseSitemap(text);
    level = &top;
    int levels = 0;
    int entries = 0;
    while (!level->empty()) {
        ++levels;
        entries += static_cast<int>(level->size());
        level = &level->back().children;
    }
    EXPECT_EQ(levels, MaxSitemapDepth);
    EXPECT_EQ(entries, depth);
}
