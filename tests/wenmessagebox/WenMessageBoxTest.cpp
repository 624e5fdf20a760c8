#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <future>
#include <memory>

#include "WenMessageBox.h"
#include "core/ShowMessageBox.h"

TEST(WenMessageBox, ShowsThePlainTextModallyAndReturnsTheButtonClicked) {
    for (const wchar_t* text : {L"Line one\r\nLine two <b>not bold</b> & \u6295\u7968",
                                static_cast<const wchar_t*>(nullptr)}) {
        const QString expected = text != nullptr ? QString::fromWCharArray(text) : QString();
        QTimer user;  // reads the box once it is up, then clicks OK
        QObject::connect(&user, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            user.stop();
            EXPECT_EQ(box->text(), expected);
            EXPECT_EQ(box->textFormat(), Qt::PlainText) << "texts are never read as markup";
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        user.start(0);
        EXPECT_EQ(WenShowMessageBox(text, 0, 0, 0, 0), QMessageBox::Ok);
    }
}

TEST(WenMessageBox, AValueOfOneAsksYesOrNoWithNoTheDefault) {
    std::unique_ptr<QMessageBox> box(
        wenmessagebox::BuildMessageBox("Delete?", quibra::kMessageBoxAsk));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::No));
    EXPECT_EQ(quibra::kMessageBoxYes, QMessageBox::Yes);
}

TEST(WenMessageBox, TheButtonsSpeakTheUsersLanguage) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    std::unique_ptr<QMessageBox> box(
        wenmessagebox::BuildMessageBox("Delete?", quibra::kMessageBoxAsk));
    QLocale::setDefault(before);
    EXPECT_TRUE(box->button(QMessageBox::Yes)->text().contains(u'\u662f'));  // "yes"
    EXPECT_TRUE(box->button(QMessageBox::No)->text().contains(u'\u5426'));   // "no"
}

TEST(ShowMessageBox, HookAnswersUntilClearedThenTheLibraryRefusesOtherThreads) {
    quibra::SetMessageBoxHookForTesting([](const std::wstring&, int) { return 42; });
    EXPECT_EQ(quibra::ShowMessageBox(L"first", 0), 42);
    quibra::SetMessageBoxHookForTesting(nullptr);
    // Widgets exist only on the application's thread: elsewhere the library answers -1.
    auto worker = std::async(std::launch::async, [] { return quibra::ShowMessageBox(L"w", 0); });
    EXPECT_EQ(worker.get(), -1);
}
