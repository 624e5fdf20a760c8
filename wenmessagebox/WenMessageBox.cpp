#include "WenMessageBox.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTranslator>
#include <memory>
#include <utility>

namespace wenmessagebox {

namespace {

// The buttons speak the user's language also where the host installed no Qt
// translations: Qt's own words for them, read by a translator of the box's own
// so that nothing else of the host changes language.
void TranslateButtons(QMessageBox& box) {
    QTranslator words;
    if (!words.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    const std::pair<QMessageBox::StandardButton, const char*> kButtons[] = {
        {QMessageBox::Yes, "&Yes"}, {QMessageBox::No, "&No"}, {QMessageBox::Ok, "OK"}};
    for (const auto& [which, english] : kButtons) {
        const QString text = words.translate("QPlatformTheme", english);
        if (QAbstractButton* button = box.button(which); button != nullptr && !text.isEmpty())
            button->setText(text);
    }
}

}  // namespace

QMessageBox* BuildMessageBox(const QString& text, int value) {
    const bool question = value == 1;
    auto* box = new QMessageBox(question ? QMessageBox::Question : QMessageBox::Information,
                                QApplication::applicationDisplayName(), text,
                                question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    if (question) box->setDefaultButton(QMessageBox::No);  // Enter never deletes by accident
    box->setTextFormat(Qt::PlainText);                     // server and user texts are never markup
    TranslateButtons(*box);
    return box;
}

}  // namespace wenmessagebox

extern "C" int WenShowMessageBox(const wchar_t* text, int value, int, int, int) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) return -1;
    // Widgets exist only on the application's thread; elsewhere Qt would abort.
    if (QThread::currentThread() != app->thread()) return -1;
    std::unique_ptr<QMessageBox> box(wenmessagebox::BuildMessageBox(
        text != nullptr ? QString::fromWCharArray(text) : QString(), value));
    return box->exec();
}
