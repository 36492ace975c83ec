// Events: operator actions, key presses, close boxes and timer ticks turned
// into the numbered events of the program's handlers, and the event loop.

#include "platform/ui.h"
#include "platform/ui_internal.h"
#include "platform/ui_qt.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>

using namespace ui_internal;

namespace {

// Qt keys reported as the virtual key codes of ui.h.
struct KeyCode {
    int qtKey;
    int code;
};

const KeyCode caKeyCodes[] = {
    {Qt::Key_Backspace, VAL_BACKSPACE_VKEY}, {Qt::Key_Tab, VAL_TAB_VKEY},
    {Qt::Key_Return, VAL_ENTER_VKEY},        {Qt::Key_Enter, VAL_ENTER_VKEY},
    {Qt::Key_Up, VAL_UP_ARROW_VKEY},         {Qt::Key_Down, VAL_DOWN_ARROW_VKEY},
    {Qt::Key_Left, VAL_LEFT_ARROW_VKEY},     {Qt::Key_Right, VAL_RIGHT_ARROW_VKEY},
    {Qt::Key_Escape, VAL_ESC_VKEY},          {Qt::Key_PageUp, VAL_PAGE_UP_VKEY},
    {Qt::Key_PageDown, VAL_PAGE_DOWN_VKEY},  {Qt::Key_Insert, VAL_INSERT_VKEY},
    {Qt::Key_Delete, VAL_DELETE_VKEY},       {Qt::Key_Home, VAL_HOME_VKEY},
    {Qt::Key_End, VAL_END_VKEY},
};

bool gbQuitRequested = false;
int giQuitCode = 0;

int KeyCodeOf(const QKeyEvent *e)
{
    int code = 0;
    for (const KeyCode &k : caKeyCodes)
        if (k.qtKey == e->key())
            code = k.code;
    if (!code && e->key() >= Qt::Key_F1 && e->key() <= Qt::Key_F12)
        code = VAL_F1_VKEY + (e->key() - Qt::Key_F1) * 0x100;
    if (code) {
        if (e->modifiers() & Qt::ShiftModifier)
            code |= VAL_SHIFT_MODIFIER;
    } else if (!e->text().isEmpty() && e->text().at(0).isPrint()) {
        code = e->text().at(0).unicode();
    } else {
        return 0;
    }
    if (e->modifiers() & Qt::ControlModifier)
        code |= VAL_MENUKEY_MODIFIER;
    return code;
}

// Close and key events of every panel window pass through here. Qt offers a
// key event again to each parent of a widget that ignores it; only its first
// receiver counts.
class PanelEventFilter : public QObject {
public:
    bool eventFilter(QObject *obj, QEvent *ev) override
    {
        if (ev->type() == QEvent::Close)
            return OnClose(obj, ev);
        if (ev->type() == QEvent::KeyPress)
            OnKey(obj, static_cast<QKeyEvent *>(ev));
        return false;
    }

private:
    bool OnClose(QObject *obj, QEvent *ev)
    {
        for (auto &[handle, p] : gaPanels)
            if (p.window == obj) {
                ev->ignore(); // the program decides whether the window goes
                Dispatch(handle, 0, EVENT_CLOSE, 0, 0);
                return true;
            }
        return false;
    }

    void OnKey(QObject *obj, QKeyEvent *e)
    {
        QWidget *w = qobject_cast<QWidget *>(obj);
        if (!w)
            return;
        bool repeatOfLast = e == lastEvent_ && e->timestamp() == lastTimestamp_ && lastReceiver_ &&
                            w != lastReceiver_ && w->isAncestorOf(lastReceiver_);
        lastEvent_ = e;
        lastTimestamp_ = e->timestamp();
        lastReceiver_ = w;
        if (repeatOfLast)
            return;
        for (auto &[handle, p] : gaPanels)
            if (p.window && p.window->isAncestorOf(w)) {
                int code = KeyCodeOf(e);
                if (code)
                    Dispatch(handle, 0, EVENT_KEYPRESS, code, 0);
                return;
            }
    }

    const QKeyEvent *lastEvent_ = nullptr;
    quint64 lastTimestamp_ = 0;
    QPointer<QWidget> lastReceiver_;
};

} // namespace

namespace ui_internal {

bool gbDispatching = false;

int Dispatch(int panel, int control, int event, int data1, int data2)
{
    Panel *p = FindPanel(panel);
    if (!p || gbDispatching)
        return 0;
    CtrlCallbackPtr ctrlCb = nullptr;
    if (control != 0) {
        Control *c = FindControl(panel, control);
        if (!c || !c->callback)
            return 0;
        ctrlCb = c->callback;
    } else if (!p->callback) {
        return 0;
    }
    gbDispatching = true;
    int r = ctrlCb ? ctrlCb(panel, control, event, nullptr, data1, data2)
                   : p->callback(panel, event, nullptr, data1, data2);
    gbDispatching = false;
    return r;
}

void ConnectCommits(int panel, int id, QWidget *w)
{
    auto commit = [panel, id] { Dispatch(panel, id, EVENT_COMMIT, 0, 0); };
    if (auto *t = qobject_cast<TimerControl *>(w)) {
        QObject::connect(t, &TimerControl::tick, [panel, id] { Dispatch(panel, id, EVENT_TIMER_TICK, 0, 0); });
    } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        QObject::connect(b, &QAbstractButton::clicked, commit);
    } else if (auto *c = qobject_cast<QComboBox *>(w)) {
        QObject::connect(c, &QComboBox::activated, commit);
    } else if (auto *s = qobject_cast<QSpinBox *>(w)) {
        // Without keyboard tracking the value changes on Enter, focus-out and
        // the arrows only; a change is committed once.
        s->setKeyboardTracking(false);
        QObject::connect(s, &QSpinBox::valueChanged, [panel, id](int v) {
            Control *c = FindControl(panel, id);
            if (!c || v == c->lastCommitted)
                return;
            c->lastCommitted = v;
            Dispatch(panel, id, EVENT_COMMIT, 0, 0);
        });
    } else if (auto *d = qobject_cast<QDoubleSpinBox *>(w)) {
        d->setKeyboardTracking(false);
        QObject::connect(d, &QDoubleSpinBox::valueChanged, commit);
    } else if (auto *l = qobject_cast<QListWidget *>(w)) {
        QObject::connect(l, &QListWidget::itemActivated, commit);
        QObject::connect(l, &QListWidget::itemClicked,
                         [panel, id] { Dispatch(panel, id, EVENT_LIST_CLICK, 0, 0); });
    } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
        QObject::connect(e, &QLineEdit::returnPressed, commit);
    }
}

QObject *NewPanelEventFilter()
{
    return new PanelEventFilter;
}

} // namespace ui_internal

int RunUserInterface(void)
{
    if (!QCoreApplication::instance())
        return UIE_NOT_INITIALIZED;
    if (!gbQuitRequested)
        QApplication::exec();
    gbQuitRequested = false;
    return giQuitCode;
}

int QuitUserInterface(int code)
{
    giQuitCode = code;
    gbQuitRequested = true;
    QCoreApplication::exit(code);
    return 0;
}

void ProcessSystemEvents(void)
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

int UiFireTimer(int panel, int control)
{
    Control *c = FindControl(panel, control);
    if (!c || !qobject_cast<TimerControl *>(c->widget.data()))
        return UIE_CTRL_NOT_FOUND;
    return Dispatch(panel, control, EVENT_TIMER_TICK, 0, 0);
}
