#include <gtest/gtest.h>

#include <libxml/tree.h>

#include <string>
#include <utility>

#include "quibra/CWenDoc.h"
#include "quibra/CWenXmlError.h"
#include "support/TestSupport.h"
#include "support/XmlSupport.h"

using namespace quibra::test;

static const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
static const std::string kHead = kDecl + "<!--Generate by Wendrake application.-->\r\n";

TEST(CWenDoc, SavedBytesIndentByLevelUpToTenTabsAndFoundHandlesHaveLevelOne) {
    TempDir dir;
    CWenDoc doc;
    CWenNode r = doc.Create(L"R");
    r.AddChild(L"A").AddChild(L"X");
    r.AddChild(L"B");
    ASSERT_TRUE(doc.Save((dir / "x.xml").wstring()));
    EXPECT_EQ(ReadFileBytes(dir / "x.xml"),
              kHead + "<R>\r\n\t<A>\r\n\t\t<X/>\r\n</A>\r\n\r\n\t<B/>\r\n</R>\r\n")
        << "no BOM, declaration first";

    CWenNode node = doc.Create(L"R");
    std::string expected = "<R>";
    for (int depth = 1; depth <= 13; ++depth) {
        node = node.AddChild(L"N" + std::to_wstring(depth));
        expected += "\r\n" + std::string(depth < 10 ? depth : 10, '\t') + "<N" +
                    std::to_string(depth) + (depth < 13 ? ">" : "/>");
    }
    for (int depth = 12; depth >= 1; --depth) expected += "\r\n</N" + std::to_string(depth) + ">";
    EXPECT_EQ(doc.SaveToString(), kHead + expected + "\r\n</R>\r\n");

    // Handles found by a search indent their own children with one TAB.
    CWenNode root = doc.Create(L"R");
    CWenNode b = root.AddChild(L"A").AddChild(L"B");
    b.AddChild(L"C");
    for (CWenNode found : {root.GetChild(L"A").GetChild(L"B"), root.SelectSingleNode(L"//C"),
                           root.GetChildNodes().Next(), CWenNode::FromElement(b.GetDomNode())}) {
        ASSERT_FALSE(found.IsNull());
        EXPECT_EQ(found.GetLevel(), 1);
    }
    root.SelectSingleNode(L"//C").AddChild(L"D");
    EXPECT_NE(doc.SaveToString().find("<C>\r\n\t<D/>\r\n</C>"), std::string::npos);
}

TEST(CWenDoc, LoadKeepsWhiteSpaceDeclarationChoiceAndNamespaces) {
    CWenDoc doc;
    CWenNode root = doc.LoadXml("<R>\n  <A> two  words </A>\n  <!--c-->\n  <B/>\n</R>");
    EXPECT_EQ(root.GetText(), L"\n   two  words \n  \n  \n");
    EXPECT_EQ(root.GetChildNodes().GetCount(), 2) << "white space and comments skipped by type";
    EXPECT_EQ(doc.SaveToString(), "<R>\n  <A> two  words </A>\n  <!--c-->\n  <B/>\n</R>\r\n")
        << "a document loaded without a declaration is saved without one";

    doc.LoadXml("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R a=\"\xE9\"/>");
    EXPECT_EQ(doc.SaveToString(), kDecl + "<R a=\"\xC3\xA9\"/>\r\n");

    const std::string spaced =
        "<p:R xmlns:p=\"urn:p\" xmlns=\"urn:d&amp;x&quot;\" p:a=\"1\"><p:I/><I/><q:I "
        "xmlns:q=\"urn:q\"/>"
        "<![CDATA[<raw>]]><?pi data?><?bare?></p:R>";
    root = doc.LoadXml(spaced);
    EXPECT_EQ(doc.SaveToString(), spaced + "\r\n") << "namespaces, CDATA and instructions kept";
    EXPECT_EQ(root.GetName(), L"p:R");
    EXPECT_EQ(root.GetAttribute(L"p:a"), L"1");
    EXPECT_EQ(root.GetAttribute(L"q:a"), L"") << "same length, other prefix";
    EXPECT_EQ(root.GetChildNodes(L"p:I").GetCount(), 1);
    EXPECT_FALSE(root.GetChild(L"q:I").IsNull());
    EXPECT_TRUE(root.GetChild(L"r:I").IsNull());
}

TEST(CWenDoc, TextAndAttributesRoundTripAnyUnicode) {
    TempDir dir;
    const std::wstring tricky = L"Q: \u4f60\u597d \U0001F600 \"quoted\" & <b> 'x'\r\nline\ttab";
    CWenDoc doc;
    CWenNode root = doc.Create(L"R");
    root.AddAttribute(L"v", tricky);
    root.AddChild(L"T").SetText(L"\u4f60 & <tag> \U0001F600");
    // Characters XML cannot carry are replaced, so the file loads again.
    root.AddAttribute(L"bad", L"x\x01y\uFFFEz");
    root.AddChild(L"U").SetText(L"bell\x07 \uFFFF end");
    ASSERT_TRUE(doc.Save((dir / "u.xml").wstring()));

    CWenDoc back;
    CWenNode loaded = back.Load((dir / "u.xml").wstring());
    EXPECT_EQ(loaded.GetAttribute(L"v"), tricky);
    EXPECT_EQ(loaded.GetChild(L"T").GetText(), L"\u4f60 & <tag> \U0001F600");
    EXPECT_EQ(loaded.GetAttribute(L"bad"), L"x\uFFFDy\uFFFDz");
    EXPECT_EQ(loaded.GetChild(L"U").GetText(), L"bell\uFFFD \uFFFD end");
}

TEST(CWenDoc, FailuresNeverThrowAndAFailedLoadReplacesTheDocument) {
    TempDir dir;
    CWenDoc doc;
    EXPECT_FALSE(doc.Save((dir / "none.xml").wstring())) << "no document";
    WriteFileBytes(dir / "bad.xml", "<R><unclosed></R>");
    for (const char* file : {"missing.xml", "bad.xml"}) {
        doc.Create(L"Old");
        EXPECT_TRUE(doc.Load((dir / file).wstring()).IsNull()) << file;
        EXPECT_EQ(doc.SaveToString(), "") << file << ": the old document is gone";
    }
    EXPECT_TRUE(doc.Create(L"not a name").IsNull());
    EXPECT_TRUE(doc.IsNull()) << "a failed Create leaves no document";

    doc.Create(L"R");
    EXPECT_FALSE(doc.Save((dir / "no-such-folder" / "x.xml").wstring()));
    EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
}

TEST(CWenDoc, NodesKeepTheirDocumentAlive) {
    CWenNode child;
    {
        CWenDoc doc;
        doc.Create(L"R").AddChild(L"A").SetText(L"kept");
        child = doc.GetRoot().GetChild(L"A");
        doc.Close();
        EXPECT_TRUE(doc.GetRoot().IsNull());
    }
    EXPECT_EQ(child.GetText(), L"kept");
    child.AddAttribute(L"x", L"1");
    EXPECT_EQ(child.GetAttribute(L"x"), L"1");

    // A handle to a child replaced by SetText stays valid (and detached).
    CWenDoc doc;
    CWenNode root = doc.Create(L"R");
    CWenNode a = root.AddChild(L"A");
    a.SetText(L"inner");
    root.SetText(L"flat");
    EXPECT_EQ(a.GetText(), L"inner");
    EXPECT_EQ(doc.SaveToString(), kHead + "<R>flat</R>\r\n");
}

TEST(CWenDoc, HostileFilesLoadWithoutExpandingEntities) {
    TempDir dir;
    WriteFileBytes(dir / "secret.txt", "TOP-SECRET");
    const std::string xxe = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://" +
                            (dir / "secret.txt").string() + "\"><!ENTITY i \"INNER\">]>" +
                            "<r a=\"1&i;2\" b=\"&i;\">a&x;b&i;</r>";
    CWenDoc doc;
    EXPECT_EQ(doc.LoadXml(xxe).GetAttribute(L"b"), L"") << "nothing left of the value";
    EXPECT_EQ(doc.SaveToString(), kDecl + "<r a=\"12\" b=\"\">ab</r>\r\n")
        << "the document loads, without the entities' content";

    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol0 \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        std::string body;
        for (int k = 0; k < 10; ++k) body += "&lol" + std::to_string(i - 1) + ";";
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"" + body + "\">";
    }
    EXPECT_TRUE(doc.LoadXml(laughs + "]><lolz>&lol9;</lolz>").IsNull())
        << "an entity bomb is refused as malformed";
}

TEST(CWenNode, EmptyHandleReadsNothingAndGuardedCallsThrow) {
    CWenNode empty;
    EXPECT_EQ(empty.GetText() + empty.GetAttribute(L"a") + empty.GetName(), L"");
    EXPECT_FALSE(empty.HasAttribute(L"a"));
    for (CWenNode none : {empty.AddChild(L"A"), empty.GetChild(L"A"),
                          empty.SelectSingleNode(L"//A"), empty.GetChildNodes().Next(),
                          CWenNode::FromElement(nullptr), CWenNode::FromNode(nullptr)})
        EXPECT_TRUE(none.IsNull());
    empty.SetText(L"x");
    empty.AddAttribute(L"a", L"b");
    ExpectXmlError([&] { empty.SelectNodes(L"//A"); }, CWenXmlError::kPointer,
                   "CWenNode::SelectNodes");
    ExpectXmlError([&] { empty.GetChildNodes(L"A"); }, CWenXmlError::kPointer,
                   "CWenNode::GetChildNodes");

    // A text node is a node, but not an element.
    CWenNode root = ParseXml("<R>t</R>");
    EXPECT_EQ(CWenNode::FromNode(root.GetDomNode()->children).GetText(), L"t");
    EXPECT_TRUE(CWenNode::FromElement(root.GetDomNode()->children).IsNull());
}

TEST(CWenNode, ParserErrorsCarryAStatusCode) {
    CWenDoc doc;
    CWenNode root = doc.Create(L"R");
    for (const wchar_t* bad : {L"//[", L"///"})
        ExpectXmlError([&] { root.SelectNodes(bad); }, CWenXmlError::kFail,
                       "CWenNode::SelectNodes");
    ExpectXmlError([&] { root.SelectSingleNode(L"count(//R)"); }, CWenXmlError::kFail,
                   "CWenNode::SelectSingleNode");
    ExpectXmlError([&] { root.AddChild(L"1bad"); }, CWenXmlError::kFail, "CWenNode::AddChild");
    ExpectXmlError([&] { root.AddAttribute(L"a b", L"v"); }, CWenXmlError::kFail,
                   "CWenNode::AddAttribute");
}

TEST(CWenNode, IntegerRuleAndAttributesNeverOverwrite) {
    CWenNode r = ParseXml(
        "<R zero=\"0\" letters=\"abc\" px=\"12px\" neg=\" -7\" plus=\"+5\" empty=\"\" "
        "big=\"99999999999\" small=\"-99999999999\">8x</R>");
    const std::pair<const wchar_t*, int> cases[] = {
        {L"absent", -1}, {L"zero", 0},         {L"letters", 0},
        {L"px", 12},     {L"neg", -7},         {L"plus", 5},
        {L"empty", -1},  {L"big", 2147483647}, {L"small", -2147483647 - 1}};
    for (const auto& [name, value] : cases) EXPECT_EQ(r.GetAttributeInt(name), value) << name;
    EXPECT_EQ(r.GetTextInt(), 8);

    CWenNode fresh = CWenDoc().Create(L"R");
    fresh.AddAttributeInt(L"id", 1);
    fresh.AddAttributeInt(L"id", 2);
    EXPECT_EQ(fresh.GetAttribute(L"id"), L"1");
    EXPECT_TRUE(fresh.HasAttribute(L"id"));
    EXPECT_FALSE(fresh.HasAttribute(L"ID"));
    fresh.AddChild(L"N").SetTextInt(-42);
    EXPECT_EQ(fresh.GetChild(L"N").GetText(), L"-42");
}

TEST(CWenNode, ChildSearchesAndFilters) {
    CWenNode root = ParseXml(
        "<Language>\n <Message id=\"1\"/>\n <!-- note -->\n <Other/>\n text \n"
        " <Message id=\"2\"><Message id=\"deep\"/></Message>\n <message "
        "id=\"lower\"/>\n</Language>");
    EXPECT_EQ(root.GetChild(L"Message").GetAttribute(L"id"), L"1") << "first in document order";
    EXPECT_TRUE(root.GetChild(L"#text").IsNull());
    EXPECT_TRUE(root.GetChild(L"Other").GetChild(L"Message").IsNull()) << "only direct children";

    CWenNodeList messages = root.GetChildNodes(L"Message");
    ASSERT_EQ(messages.GetCount(), 2);
    EXPECT_EQ(messages.Next().GetAttribute(L"id"), L"1");
    EXPECT_EQ(messages.Next().GetAttribute(L"id"), L"2");
    EXPECT_TRUE(messages.Next().IsNull());
    EXPECT_EQ(messages.GetCount(), 0) << "counts from the cursor";
    EXPECT_EQ(messages.Next().GetAttribute(L"id"), L"1") << "GetCount resets the cursor";

    CWenNodeList copy = messages;
    EXPECT_EQ(copy.Next().GetAttribute(L"id"), L"1") << "a copy starts at the beginning";
    EXPECT_EQ(messages.Next().GetAttribute(L"id"), L"2") << "copies share the cursor";
    copy = messages;
    EXPECT_EQ(messages.Next().GetAttribute(L"id"), L"1") << "so does an assigned one";
    messages.Reset();
    EXPECT_EQ(messages.GetCount(), 2);

    CWenNodeList all = root.SelectNodes(L"//Message");
    EXPECT_EQ(all.GetCount(), 3);
    EXPECT_EQ(all.Next().GetAttribute(L"id"), L"1") << "back at the very first node";
    EXPECT_TRUE(root.SelectSingleNode(L"Message/@id").IsNull()) << "an attribute is not an element";
    EXPECT_TRUE(root.SelectSingleNode(L"namespace::xml").IsNull()) << "nor is a namespace node";
    EXPECT_EQ(root.SelectNodes(L"//namespace::*").GetCount(), 0);
    EXPECT_EQ(root.SelectSingleNode(L"Message[@id='2']").GetChild(L"Message").GetAttribute(L"id"),
              L"deep");
}
