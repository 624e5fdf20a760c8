#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <thread>
#include <vector>

#include "WenMessageBox.h"
#include "core/ShowMessageBox.h"

TEST(WenMessageBox, BuildsAnInformationBoxShowingTheTextAsPlainText) {
    const QString text = QStringLiteral("Line one\r\nLine two <b>not bold</b> & \u6295\u7968");
    std::unique_ptr<QMessageBox> box(wenmessagebox::BuildMessageBox(text));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), text);
    EXPECT_EQ(box->textFormat(), Qt::PlainText) << "texts are never read as markup";
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_FALSE(box->isVisible()) << "built, not shown";
}

TEST(WenMessageBox, ShowsTheTextModallyAndReturnsTheButtonClicked) {
    for (const wchar_t* text :
         {L"Line one\r\nLine two \u6295\u7968", static_cast<const wchar_t*>(nullptr)}) {
        QString shown = QStringLiteral("not shown");
        QTimer user;  // clicks OK once the box is up
        QObject::connect(&user, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            user.stop();
            shown = box->text();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        user.start(0);
        EXPECT_EQ(WenShowMessageBox(text, 0, 0, 0, 0), QMessageBox::Ok);
        EXPECT_EQ(shown, text != nullptr ? QString::fromWCharArray(text) : QString());
    }
}

TEST(WenMessageBox, RefusesCallersOffTheUserInterfaceThread) {
    int answer = 0;
    std::thread worker([&] { answer = WenShowMessageBox(L"from a worker", 0, 0, 0, 0); });
    worker.join();
    EXPECT_EQ(answer, -1);
}

TEST(ShowMessageBox, HookRecordsEveryBoxAndItsAnswerIsReturned) {
    struct Shown {
        std::wstring text;
        int value;
    };
    std::vector<Shown> shown;
    quibra::SetMessageBoxHookForTesting([&](const std::wstring& text, int value) {
        shown.push_back({text, value});
        return 42;
    });
    EXPECT_EQ(quibra::ShowMessageBox(L"first", 0), 42);
    EXPECT_EQ(quibra::ShowMessageBox(L"\u6295\u7968\r\nline", 3), 42);
    quibra::SetMessageBoxHookForTesting(nullptr);

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, L"first");
    EXPECT_EQ(shown[0].value, 0);
    EXPECT_EQ(shown[1].text, L"\u6295\u7968\r\nline");
    EXPECT_EQ(shown[1].value, 3);

    // Without the hook the call reaches the library again (off the UI thread it
    // answers -1 instead of opening a box).
    int answer = 0;
    std::thread worker([&] { answer = quibra::ShowMessageBox(L"real", 0); });
    worker.join();
    EXPECT_EQ(answer, -1);
    EXPECT_EQ(shown.size(), 2u);
}
