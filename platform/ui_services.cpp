// Services around the panels: message boxes, Delay, and test access to the
// widgets. Those without a window are in services.cpp.

#include "platform/ui.h"
#include "platform/ui_internal.h"
#include "platform/ui_qt.h"

#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QThread>

using namespace ui_internal;

namespace ui_internal {
PopupHook gpPopupHook = nullptr;
}

namespace {
ConfirmHook gpConfirmHook = nullptr;
QString gsYes = "Yes";
QString gsNo = "No";
}

int MessagePopup(const char *title, const char *message)
{
    if (gpPopupHook) {
        gpPopupHook(title ? title : "", message ? message : "");
        return 0;
    }
    QWidget *parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(title ? title : ""),
                    QString::fromUtf8(message ? message : ""), QMessageBox::Ok, parent);
    // A popup runs a loop of its own; what the operator does meanwhile waits
    // for the running handler.
    RunExclusive([&] { box.exec(); });
    return 0;
}

void SetMessagePopupHook(PopupHook hook)
{
    gpPopupHook = hook;
}

int ConfirmPopup(const char *title, const char *question)
{
    if (gpConfirmHook)
        return gpConfirmHook(title ? title : "", question ? question : "") ? 1 : 0;
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(title ? title : ""),
                    QString::fromUtf8(question ? question : ""), QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.button(QMessageBox::Yes)->setText(gsYes);
    box.button(QMessageBox::No)->setText(gsNo);
    int answer = QMessageBox::No;
    RunExclusive([&] { answer = box.exec(); });
    return answer == QMessageBox::Yes ? 1 : 0;
}

void SetConfirmPopupHook(ConfirmHook hook)
{
    gpConfirmHook = hook;
}

void SetConfirmPopupAnswers(const char *yes, const char *no)
{
    gsYes = MnemonicToQt(yes ? yes : "");
    gsNo = MnemonicToQt(no ? no : "");
}

// Paints what changed before blocking, so a status or a highlight set just
// before the wait shows during it. Only paint events are handled: no input.
void Delay(double seconds)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    }
    if (seconds > 0.0)
        QThread::usleep(static_cast<unsigned long>(seconds * 1e6));
}

QWidget *UiPanelWidget(int panel)
{
    Panel *p = FindPanel(panel);
    return p ? p->window.data() : nullptr;
}

QWidget *UiCtrlWidget(int panel, int control)
{
    Control *c = FindControl(panel, control);
    return c ? c->widget.data() : nullptr;
}
