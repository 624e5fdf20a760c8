#include "WenMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <memory>

namespace wenmessagebox {

QMessageBox* BuildMessageBox(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Information, QApplication::applicationDisplayName(),
                                text, QMessageBox::Ok);
    box->setTextFormat(Qt::PlainText);  // server and user texts are never markup
    return box;
}

}  // namespace wenmessagebox

extern "C" int WenShowMessageBox(const wchar_t* text, int /*value*/, int, int, int) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) return -1;
    // Widgets exist only on the application's thread; elsewhere Qt would abort.
    if (QThread::currentThread() != app->thread()) return -1;
    std::unique_ptr<QMessageBox> box(wenmessagebox::BuildMessageBox(
        text != nullptr ? QString::fromWCharArray(text) : QString()));
    return box->exec();
}
