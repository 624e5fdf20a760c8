#include "polldata/RecordFields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "polldata/PollRecordReader.h"
#include "support/XmlSupport.h"

using quibra::PollRecord;
using quibra::PollRecordReader;

std::wstring RecordFields(const PollRecord& r) {
    const auto letter = [](quibra::PollStatus status) {
        const std::wstring letter = quibra::PollStatusLetter(status);
        return letter.empty() ? L"-" : letter;
    };
    const auto publish = [](quibra::PublishState state) {
        using enum quibra::PublishState;
        return std::wstring(state == Published ? L"P" : state == NotPublished ? L"U" : L"-");
    };
    std::wstring out = r.pollId + L"|" + r.title + L"|" + (r.singleChoice ? L"S" : L"M") + L"|" +
                       (r.identified ? L"id" : L"anon") + L"|" + std::to_wstring(r.voterCount) +
                       L"|" + letter(r.status) + L"|" + publish(r.publishState) + L"|" +
                       letter(r.requestedStatus) + publish(r.requestedPublishState);
    for (const quibra::PollItem& item : r.items) {
        out += L" [" + item.pollId + L"|" + item.itemName + L"|" + item.content + L"|" +
               std::to_wstring(item.postCount);
        for (const std::wstring& voter : item.voterNames) out += L"|" + voter;
        out += L"]";
    }
    return out;
}

// The three readers over the same record elements: the presenter's list, the
// answer window and the result window.
TEST(PollRecordReaderTest, EachReaderTakesItsFieldsByTheReplyRules) {
    struct Case {
        std::string xml;
        std::wstring list, answer, result;
    };
    const Case cases[] = {
        {R"(<Record PollingId="41" Type="S" IsSign="1" Title="Lunch &amp; more" IsPublish="0"
            Status="C" UserCount="3"><Items>
              <Item ItemName="A" Content="Pizza" PostCount="2"><User UserName="ann"/><!-- x -->
                <User UserName="bob"/></Item>
              <Item ItemName="B" Content="Soup" PostCount="1"><User UserName="cy"/></Item>
              <Item ItemName="C" Content="Salad" PostCount="0"/></Items></Record>)",
         L"41|Lunch & more|S|id|3|C|U|-- [41|A|Pizza|2|ann|bob] [41|B|Soup|1|cy] [41|C|Salad|0]",
         L"41|Lunch & more|S|id|0|-|-|-- [|A|Pizza|0] [|B|Soup|0] [|C|Salad|0]",
         L"41|Lunch & more|S|id|3|-|-|-- [|A|Pizza|2|ann|bob] [|B|Soup|1|cy] [|C|Salad|0]"},
        // Missing attributes; only an explicit "0" makes a listed poll anonymous,
        // while the windows need IsSign to read as the integer 1.
        {"<R/>", L"||M|id|-1|-|P|--", L"||M|anon|0|-|-|--", L"||M|anon|-1|-|-|--"},
        {R"(<R IsSign="0" Type="s" IsPublish="" Status="D" UserCount=""/>)", L"||M|anon|-1|D|P|--",
         L"||M|anon|0|-|-|--", L"||M|anon|-1|-|-|--"},
        {R"(<R IsSign="" Type="SM" Status="o" UserCount="12px"/>)", L"||M|id|12|-|P|--",
         L"||M|anon|0|-|-|--", L"||M|anon|12|-|-|--"},
        {R"(<R IsSign="00" Status="OC" UserCount="many"/>)", L"||M|id|0|-|P|--",
         L"||M|anon|0|-|-|--", L"||M|anon|0|-|-|--"},
        {R"(<R IsSign="01" Status="N" UserCount="0"/>)", L"||M|id|0|N|P|--", L"||M|id|0|-|-|--",
         L"||M|id|0|-|-|--"},
        {R"(<R IsSign=" 1x" Status="O"/>)", L"||M|id|-1|O|P|--", L"||M|id|0|-|-|--",
         L"||M|id|-1|-|-|--"},
        {R"(<R IsSign="2"/>)", L"||M|id|-1|-|P|--", L"||M|anon|0|-|-|--", L"||M|anon|-1|-|-|--"},
        // Voters are kept only when the post count is above 0; every voter element
        // counts, even one without a name.
        {R"(<R PollingId="5"><Items><I ItemName="A" PostCount="0"><U UserName="ghost"/></I>
            <I ItemName="B"><U UserName="ghost"/></I><I ItemName="C" PostCount="-2"><U/></I>
            <I ItemName="D" PostCount="1"><U/><U UserName="zoe"/></I><I/></Items></R>)",
         L"5||M|id|-1|-|P|-- [5|A||0] [5|B||-1] [5|C||-2] [5|D||1||zoe] [5|||-1]",
         L"5||M|anon|0|-|-|-- [|A||0] [|B||0] [|C||0] [|D||0] [|||0]",
         L"5||M|anon|-1|-|-|-- [|A||0] [|B||-1] [|C||-2] [|D||1||zoe] [|||-1]"},
    };
    for (const Case& c : cases) {
        const CWenNode element = quibra::test::ParseXml(c.xml);
        PollRecord listed;
        PollRecordReader::ReadListRecord(element, listed);
        EXPECT_EQ(RecordFields(listed), c.list) << c.xml;
        EXPECT_EQ(RecordFields(PollRecordReader::ReadAnswerRecord(element)), c.answer) << c.xml;
        EXPECT_EQ(RecordFields(PollRecordReader::ReadResultRecord(element)), c.result) << c.xml;
    }
}
