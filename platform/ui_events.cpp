// Events: operator actions, key presses, close boxes and timer ticks turned
// into the numbered events of the program's handlers, and the event loop.

#include "platform/ui.h"
#include "platform/ui_internal.h"
#include "platform/ui_qt.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>
#include <deque>

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
        if (ev->type() == QEvent::HideToParent || ev->type() == QEvent::ShowToParent)
            OnGroupShown(qobject_cast<QGroupBox *>(obj), ev->type() == QEvent::ShowToParent);
        return false;
    }

private:
    // A group of a panel hidden (the worked examples) takes its height with
    // it, rather than leave the other groups stretched over empty space;
    // shown again, it gets back what it gave. The window keeps its width.
    void OnGroupShown(QGroupBox *g, bool shown)
    {
        if (!g || !g->parentWidget() || !g->window()->isVisible())
            return;
        QWidget *win = g->window();
        bool panel = false;
        for (auto &[handle, p] : gaPanels)
            panel = panel || p.window == win;
        QVariant given = g->property("_heightGiven");
        if (!panel || shown != given.isValid())
            return; // not a panel's, or a show that no hide of ours preceded
        int height = given.toInt();
        if (!shown) {
            QLayout *layout = g->parentWidget()->layout();
            height = g->height() + (layout ? std::max(0, layout->spacing()) : 0);
        }
        g->setProperty("_heightGiven", shown ? QVariant() : QVariant(height));
        int delta = shown ? height : -height;
        QMetaObject::invokeMethod(
            win,
            [win, delta] {
                if (win->minimumHeight() > 0) // a resizable panel's least height has the group too
                    win->setMinimumHeight(std::max(0, win->minimumHeight() + delta));
                win->resize(win->width(), win->height() + delta);
            },
            Qt::QueuedConnection);
    }

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

// One event held back while a handler or a popup runs.
struct Pending {
    int panel;
    int control; // 0: the panel's own handler; the item ID of a menu event
    int event;
    int data1;
    int data2;
    MenuCallbackPtr menu;
    DeferredCallbackPtr deferred;
    void *data;
};

std::deque<Pending> gaPending;
int giExclusive = 0; // depth of handlers and popups running

void Deliver(const Pending &e, int *result)
{
    if (e.deferred) {
        e.deferred(e.data);
        return;
    }
    Panel *p = FindPanel(e.panel);
    if (!p)
        return; // discarded meanwhile
    if (e.menu) {
        e.menu(e.panel, e.control, nullptr, e.panel);
    } else if (e.control == 0) {
        if (p->callback)
            *result = p->callback(e.panel, e.event, nullptr, e.data1, e.data2);
    } else if (Control *c = FindControl(e.panel, e.control); c && c->callback) {
        *result = c->callback(e.panel, e.control, e.event, nullptr, e.data1, e.data2);
    }
}

bool IsQueuedTick(const Pending &e)
{
    for (const Pending &q : gaPending)
        if (q.event == EVENT_TIMER_TICK && !q.menu && !q.deferred && q.panel == e.panel &&
            q.control == e.control)
            return true;
    return false;
}

// Runs the event now, or queues it behind the running handler. Ticks of one
// timer that wait together merge into one.
int Post(const Pending &e)
{
    if (giExclusive > 0) {
        if (!(e.event == EVENT_TIMER_TICK && IsQueuedTick(e)))
            gaPending.push_back(e);
        return 0;
    }
    int result = 0;
    RunExclusive([&] { Deliver(e, &result); });
    return result;
}

} // namespace

namespace ui_internal {

void BeginExclusive()
{
    ++giExclusive;
}

// Delivers, in arrival order, what came while the outermost handler ran.
void EndExclusive()
{
    if (giExclusive == 1)
        while (!gaPending.empty()) {
            Pending e = gaPending.front();
            gaPending.pop_front();
            int ignored = 0;
            Deliver(e, &ignored);
        }
    --giExclusive;
}

int Dispatch(int panel, int control, int event, int data1, int data2)
{
    return Post({panel, control, event, data1, data2, nullptr, nullptr, nullptr});
}

int DispatchMenu(int panel, int item, MenuCallbackPtr callback)
{
    return Post({panel, item, EVENT_COMMIT, 0, 0, callback, nullptr, nullptr});
}

void ConnectCommits(int panel, int id, QWidget *w)
{
    auto commit = [panel, id] { Dispatch(panel, id, EVENT_COMMIT, 0, 0); };
    if (auto *t = qobject_cast<TimerControl *>(w)) {
        QObject::connect(t, &TimerControl::tick, [panel, id] { Dispatch(panel, id, EVENT_TIMER_TICK, 0, 0); });
    } else if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isCheckable()) {
        // Every toggle by the operator commits, a click as well as the
        // accessibility action (toggle()), which emits no click.
        QObject::connect(b, &QAbstractButton::toggled, [panel, id] {
            Control *c = FindControl(panel, id);
            if (c && !c->setByProgram)
                Dispatch(panel, id, EVENT_COMMIT, 0, 0);
        });
    } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        QObject::connect(b, &QAbstractButton::clicked, commit);
    } else if (auto *c = qobject_cast<QComboBox *>(w)) {
        QObject::connect(c, &QComboBox::activated, commit);
    } else if (auto *n = qobject_cast<NumericControl *>(w)) {
        auto confirm = [panel, id, n](bool always) {
            Control *c = FindControl(panel, id);
            if (!c || (!always && n->value() == c->lastCommitted))
                return;
            c->lastCommitted = n->value();
            Dispatch(panel, id, EVENT_COMMIT, 0, 0);
        };
        QObject::connect(n, &QAbstractSpinBox::editingFinished, [n, confirm] { confirm(n->enterPressed()); });
        QObject::connect(n, &NumericControl::stepped, [confirm] { confirm(false); });
        QObject::connect(n, &NumericControl::setFromOutside, [confirm] { confirm(true); });
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

int PostDeferredCall(DeferredCallbackPtr fn, void *data)
{
    if (!fn || !QCoreApplication::instance())
        return UIE_NOT_INITIALIZED;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [fn, data] { Post({0, 0, 0, 0, 0, nullptr, fn, data}); }, Qt::QueuedConnection);
    return 0;
}

int UiFireTimer(int panel, int control)
{
    Control *c = FindControl(panel, control);
    if (!c || !qobject_cast<TimerControl *>(c->widget.data()))
        return UIE_CTRL_NOT_FOUND;
    return Dispatch(panel, control, EVENT_TIMER_TICK, 0, 0);
}
