#include <gtest/gtest.h>

#include <string>

#include "quibra/CWenDoc.h"
#include "quibra/CWenXmlError.h"
#include "support/TestSupport.h"

using quibra::test::ReadFileBytes;
using quibra::test::TempDir;
using quibra::test::WriteFileBytes;

namespace {
const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
const std::string kComment = "<!--Generate by Wendrake application.-->\r\n";
}  // namespace

TEST(CWenDoc, CreateAndSaveWriteTheExactBytes) {
    TempDir dir;
    CWenDoc doc;
    CWenNode root = doc.Create(L"X");
    ASSERT_FALSE(root.IsNull());
    EXPECT_EQ(root.GetLevel(), 1);
    ASSERT_TRUE(doc.Save((dir / "x.xml").wstring()));
    const std::string bytes = ReadFileBytes(dir / "x.xml");
    EXPECT_EQ(bytes, kDecl + kComment + "<X/>\r\n");
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u)
        << "no BOM, declaration first";
    EXPECT_EQ(bytes, doc.SaveToString());
}

TEST(CWenDoc, AddChildIndentsByLevelWithCrLfAfterEachChild) {
    CWenDoc doc;
    CWenNode r = doc.Create(L"R");
    CWenNode a = r.AddChild(L"A");
    CWenNode x = a.AddChild(L"X");
    CWenNode b = r.AddChild(L"B");
    EXPECT_EQ(a.GetLevel(), 2);
    EXPECT_EQ(x.GetLevel(), 3);
    EXPECT_EQ(doc.SaveToString(),
              kDecl + kComment + "<R>\r\n\t<A>\r\n\t\t<X/>\r\n</A>\r\n\r\n\t<B/>\r\n</R>\r\n");
}

TEST(CWenDoc, IndentationStopsGrowingAtTenTabs) {
    CWenDoc doc;
    CWenNode node = doc.Create(L"R");
    for (int depth = 1; depth <= 13; ++depth) node = node.AddChild(L"N" + std::to_wstring(depth));
    EXPECT_EQ(node.GetLevel(), 10);
    const std::string bytes = doc.SaveToString();
    for (int depth = 1; depth <= 13; ++depth) {
        const std::string tabs(static_cast<size_t>(depth < 10 ? depth : 10), '\t');
        const std::string expected = "\r\n" + tabs + "<N" + std::to_string(depth);
        EXPECT_NE(bytes.find(expected), std::string::npos) << "depth " << depth;
        EXPECT_EQ(bytes.find("\r\n" + tabs + "\t<N" + std::to_string(depth)), std::string::npos)
            << "depth " << depth << " has too many tabs";
    }
}

TEST(CWenDoc, HandlesFromSearchesHaveLevelOne) {
    CWenDoc doc;
    CWenNode root = doc.Create(L"R");
    root.AddChild(L"A").AddChild(L"B").AddChild(L"C");
    CWenNode viaGetChild = root.GetChild(L"A").GetChild(L"B");
    CWenNode viaXPath = root.SelectSingleNode(L"//C");
    CWenNodeList list = root.GetChildNodes();
    CWenNode viaList = list.Next();
    for (const CWenNode* node : {&viaGetChild, &viaXPath, &viaList}) {
        ASSERT_FALSE(node->IsNull());
        EXPECT_EQ(node->GetLevel(), 1);
    }
    viaXPath.AddChild(L"D");
    EXPECT_NE(doc.SaveToString().find("<C>\r\n\t<D/>\r\n</C>"), std::string::npos);
}

TEST(CWenDoc, LoadKeepsWhiteSpaceAndDeclarationChoice) {
    CWenDoc doc;
    CWenNode root = doc.LoadXml("<R>\n  <A> two  words </A>\n  <!--c-->\n  <B/>\n</R>");
    ASSERT_FALSE(root.IsNull());
    EXPECT_EQ(root.GetChild(L"A").GetText(), L" two  words ");
    EXPECT_EQ(root.GetText(), L"\n   two  words \n  \n  \n");
    EXPECT_EQ(root.GetChildNodes().GetCount(), 2)
        << "white-space text and comments are skipped by type";
    EXPECT_EQ(doc.SaveToString(), "<R>\n  <A> two  words </A>\n  <!--c-->\n  <B/>\n</R>\r\n")
        << "a document loaded without a declaration is saved without one";

    CWenDoc withDecl;
    withDecl.LoadXml("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R a=\"\xE9\"/>");
    EXPECT_EQ(withDecl.GetRoot().GetAttribute(L"a"), L"\u00e9");
    EXPECT_EQ(withDecl.SaveToString(), kDecl + "<R a=\"\xC3\xA9\"/>\r\n");
}

TEST(CWenDoc, TextAndAttributesRoundTripAnyUnicode) {
    TempDir dir;
    const std::wstring tricky = L"Q: \u4f60\u597d \U0001F600 \"quoted\" & <b> 'x'\r\nline\ttab";
    CWenDoc doc;
    CWenNode root = doc.Create(L"R");
    root.AddAttribute(L"v", tricky);
    root.AddChild(L"T").SetText(L"\u4f60 & <tag> \U0001F600");
    ASSERT_TRUE(doc.Save((dir / "u.xml").wstring()));

    CWenDoc back;
    CWenNode loaded = back.Load((dir / "u.xml").wstring());
    ASSERT_FALSE(loaded.IsNull());
    EXPECT_EQ(loaded.GetAttribute(L"v"), tricky);
    EXPECT_EQ(loaded.GetChild(L"T").GetText(), L"\u4f60 & <tag> \U0001F600");
}

TEST(CWenDoc, CharactersXmlCannotCarryAreReplacedSoTheFileLoadsAgain) {
    CWenDoc doc;
    CWenNode root = doc.Create(L"R");
    root.AddAttribute(L"a", L"x\x01y\uFFFEz");
    root.AddChild(L"T").SetText(L"bell\x07 \uFFFF end");
    CWenDoc back;
    CWenNode loaded = back.LoadXml(doc.SaveToString());
    ASSERT_FALSE(loaded.IsNull());
    EXPECT_EQ(loaded.GetAttribute(L"a"), L"x\uFFFDy\uFFFDz");
    EXPECT_EQ(loaded.GetChild(L"T").GetText(), L"bell\uFFFD \uFFFD end");
}

TEST(CWenDoc, FailuresNeverThrow) {
    TempDir dir;
    CWenDoc doc;
    EXPECT_FALSE(doc.Save((dir / "none.xml").wstring())) << "no document";
    EXPECT_TRUE(doc.Load((dir / "missing.xml").wstring()).IsNull());
    WriteFileBytes(dir / "bad.xml", "<R><unclosed></R>");
    EXPECT_TRUE(doc.Load((dir / "bad.xml").wstring()).IsNull());
    EXPECT_TRUE(doc.LoadXml("").IsNull());
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
    EXPECT_EQ(doc.SaveToString(), kDecl + kComment + "<R>flat</R>\r\n");
}

TEST(CWenDoc, HostileFilesLoadWithoutExpandingEntities) {
    TempDir dir;
    WriteFileBytes(dir / "secret.txt", "TOP-SECRET");
    const std::string xxe = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://" +
                            (dir / "secret.txt").string() + "\">]><r>a&x;b</r>";
    CWenDoc doc;
    CWenNode root = doc.LoadXml(xxe);
    ASSERT_FALSE(root.IsNull()) << "the document loads, without the entity's content";
    EXPECT_EQ(root.GetText(), L"ab");
    EXPECT_EQ(doc.SaveToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r>ab</r>\r\n");

    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    laughs += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
    for (int i = 2; i <= 9; ++i) {
        const std::string prev = "&lol" + std::to_string(i - 1) + ";";
        std::string body;
        for (int k = 0; k < 10; ++k) body += prev;
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"" + body + "\">";
    }
    laughs += "]><lolz>&lol9;</lolz>";
    EXPECT_TRUE(doc.LoadXml(laughs).IsNull()) << "an entity bomb is refused as malformed";
    EXPECT_EQ(doc.SaveToString(), "");
}

TEST(CWenNode, EmptyHandleReadsNothingAndGuardedCallsThrow) {
    CWenNode empty;
    EXPECT_TRUE(empty.IsNull());
    EXPECT_EQ(empty.GetLevel(), 1);
    EXPECT_EQ(empty.GetText(), L"");
    EXPECT_EQ(empty.GetTextInt(), -1);
    EXPECT_EQ(empty.GetAttribute(L"a"), L"");
    EXPECT_EQ(empty.GetAttributeInt(L"a"), -1);
    EXPECT_FALSE(empty.HasAttribute(L"a"));
    EXPECT_TRUE(empty.AddChild(L"A").IsNull());
    EXPECT_TRUE(empty.GetChild(L"A").IsNull());
    EXPECT_TRUE(empty.SelectSingleNode(L"//A").IsNull());
    EXPECT_EQ(empty.GetChildNodes().GetCount(), 0);
    EXPECT_TRUE(empty.GetChildNodes().Next().IsNull());
    empty.SetText(L"x");
    empty.AddAttribute(L"a", L"b");
    try {
        empty.SelectNodes(L"//A");
        ADD_FAILURE() << "SelectNodes on an empty handle must throw";
    } catch (const CWenXmlError& e) {
        EXPECT_EQ(e.Code(), CWenXmlError::kPointer);
    }
    try {
        empty.GetChildNodes(L"A");
        ADD_FAILURE() << "filtered GetChildNodes on an empty handle must throw";
    } catch (const CWenXmlError& e) {
        EXPECT_EQ(e.Code(), CWenXmlError::kPointer);
    }
}

TEST(CWenNode, ParserErrorsCarryAStatusCode) {
    CWenDoc doc;
    CWenNode root = doc.Create(L"R");
    EXPECT_THROW(root.SelectNodes(L"//["), CWenXmlError);
    EXPECT_THROW(root.SelectSingleNode(L"count(//R)"), CWenXmlError);
    EXPECT_THROW(root.AddChild(L"1bad"), CWenXmlError);
    EXPECT_THROW(root.AddAttribute(L"a b", L"v"), CWenXmlError);
    try {
        root.SelectNodes(L"///");
    } catch (const CWenXmlError& e) {
        EXPECT_EQ(e.Code(), CWenXmlError::kFail);
        EXPECT_EQ(e.Where(), "CWenNode::SelectNodes");
    }
}

TEST(CWenNode, IntegerRuleAndAttributesNeverOverwrite) {
    CWenDoc doc;
    CWenNode r = doc.LoadXml(
        "<R zero=\"0\" letters=\"abc\" px=\"12px\" neg=\" -7\" empty=\"\" big=\"99999999999\"/>");
    EXPECT_EQ(r.GetAttributeInt(L"absent"), -1);
    EXPECT_EQ(r.GetAttributeInt(L"zero"), 0);
    EXPECT_EQ(r.GetAttributeInt(L"letters"), 0);
    EXPECT_EQ(r.GetAttributeInt(L"px"), 12);
    EXPECT_EQ(r.GetAttributeInt(L"neg"), -7);
    EXPECT_EQ(r.GetAttributeInt(L"empty"), -1);
    EXPECT_EQ(r.GetAttributeInt(L"big"), 2147483647);

    CWenNode fresh = doc.Create(L"R");
    fresh.AddAttributeInt(L"id", 1);
    fresh.AddAttributeInt(L"id", 2);
    EXPECT_EQ(fresh.GetAttribute(L"id"), L"1");
    fresh.AddChild(L"N").SetTextInt(-42);
    EXPECT_EQ(fresh.GetChild(L"N").GetTextInt(), -42);
    EXPECT_EQ(fresh.GetChild(L"N").GetText(), L"-42");
}

TEST(CWenNode, ChildSearchesAndFilters) {
    CWenDoc doc;
    CWenNode root = doc.LoadXml(
        "<Language>\n <Message id=\"1\"/>\n <!-- note -->\n <Other/>\n text \n"
        " <Message id=\"2\"><Message id=\"deep\"/></Message>\n <message "
        "id=\"lower\"/>\n</Language>");
    EXPECT_EQ(root.GetChild(L"Message").GetAttribute(L"id"), L"1") << "first in document order";
    EXPECT_TRUE(root.GetChild(L"Deep").IsNull());
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

    EXPECT_EQ(root.SelectNodes(L"//Message").GetCount(), 3);
    EXPECT_TRUE(root.SelectSingleNode(L"Message/@id").IsNull()) << "an attribute is not an element";
    EXPECT_TRUE(root.SelectSingleNode(L"namespace::xml").IsNull()) << "nor is a namespace node";
    EXPECT_EQ(root.SelectNodes(L"//namespace::*").GetCount(), 0);
    EXPECT_EQ(root.SelectSingleNode(L"Message[@id='2']").GetChild(L"Message").GetAttribute(L"id"),
              L"deep");
}

TEST(CWenNode, FromNodeWrapsNodesOfOurDocuments) {
    CWenDoc doc;
    CWenNode root = doc.Create(L"R");
    CWenNode a = root.AddChild(L"A");
    CWenNode again = CWenNode::FromElement(a.GetDomNode());
    EXPECT_EQ(again.GetName(), L"A");
    EXPECT_EQ(again.GetLevel(), 1);
    EXPECT_TRUE(CWenNode::FromElement(nullptr).IsNull());
    EXPECT_TRUE(CWenNode::FromNode(nullptr).IsNull());
}
