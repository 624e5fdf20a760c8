#include "WenMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <memory>

namespace wenmessagebox {

QMessageBox* BuildMessageBox(const QString& text, int value) {
    const bool question = value == 1;
    auto* box = new QMessageBox(question ? QMessageBox::Question : QMessageBox::Information,
                                QApplication::applicationDisplayName(), text,
                                question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    if (question) box->setDefaultButton(QMessageBox::No);  // Enter never deletes by accident
    box->setTextFormat(Qt::PlainText);                     // server and user texts are never markup
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
