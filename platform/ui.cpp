// User-interface services over Qt Widgets.
//
// A panel is a window loaded from a Qt Designer file. Controls carry the
// dynamic properties `ctrlId` and `callback`, the window `panelId` and
// `callback`, menus and menu items `menuId` (items also `callback`). Timers
// are the invisible widget class TimerControl. Handler names are bound
// through the table the program hands to UiSetCallbackTable.
#include "platform/ui.h"
#include "platform/ui_qt.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QUiLoader>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

// An invisible control that delivers EVENT_TIMER_TICK every `interval`
// seconds while `enabled`. It re-declares `enabled`: QWidget's own property
// of that name would only grey the widget.
class TimerControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double interval READ interval WRITE setInterval)
    Q_PROPERTY(bool enabled READ isRunning WRITE setRunning)

public:
    explicit TimerControl(QWidget *parent = nullptr) : QWidget(parent)
    {
        hide();
        timer_.setInterval(1000);
        connect(&timer_, &QTimer::timeout, this, &TimerControl::tick);
    }
    double interval() const { return timer_.interval() / 1000.0; }
    void setInterval(double seconds)
    {
        timer_.setInterval(seconds <= 0.0 ? 1 : static_cast<int>(seconds * 1000.0 + 0.5));
    }
    bool isRunning() const { return running_; }
    void setRunning(bool on)
    {
        running_ = on;
        if (on && !timer_.isActive())
            timer_.start();
        else if (!on)
            timer_.stop();
    }

signals:
    void tick();

private:
    QTimer timer_;
    bool running_ = false;
};

namespace {

struct Control {
    QPointer<QWidget> widget;
    CtrlCallbackPtr callback = nullptr;
    int lastCommitted = 0; // numeric fields commit once per confirmed change
};

struct Panel {
    QPointer<QWidget> window;
    PanelCallbackPtr callback = nullptr;
    std::map<int, Control> controls;
    std::map<int, QPointer<QMenu>> menus;
    std::map<int, QPointer<QAction>> items;
    int charset = CHARSET_DEFAULT;
};

struct UiErrorText {
    int code;
    const char *text;
};

const UiErrorText caUiErrors[] = {
    {UIE_FILE_NOT_FOUND, "resource file not found"},
    {UIE_BAD_FILE, "resource file cannot be loaded"},
    {UIE_PANEL_NOT_FOUND, "panel not found in the resource file"},
    {UIE_UNKNOWN_CALLBACK, "handler name not in the callback table"},
    {UIE_BAD_HANDLE, "invalid panel or menu bar handle"},
    {UIE_CTRL_NOT_FOUND, "control or menu item not found"},
    {UIE_BAD_ATTRIBUTE, "attribute not supported by this control"},
    {UIE_BAD_INDEX, "list index out of range"},
    {UIE_NOT_INITIALIZED, "user interface not initialized"},
    {UIE_TOO_LONG, "text too long for its buffer"},
};

// Fonts preferred for each character set; the first installed one is used.
struct CharsetFonts {
    int charset;
    const char *families[3];
};

const CharsetFonts caCharsetFonts[] = {
    {CHARSET_BIG5, {"Noto Sans CJK TC", "WenQuanYi Micro Hei", "AR PL UMing TW"}},
    {CHARSET_GB2312, {"Noto Sans CJK SC", "WenQuanYi Micro Hei", "AR PL UMing CN"}},
};

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

std::map<int, Panel> gaPanels;
int giNextPanel = 1;
const UiCallback *gaCallbacks = nullptr;
int giCallbackCount = 0;
std::string gsLastError;
PopupHook gpPopupHook = nullptr;
bool gbDispatching = false; // handlers never interleave
bool gbQuitRequested = false;
int giQuitCode = 0;

Panel *FindPanel(int panel)
{
    auto it = gaPanels.find(panel);
    return it == gaPanels.end() || !it->second.window ? nullptr : &it->second;
}

Control *FindControl(int panel, int control)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return nullptr;
    auto it = p->controls.find(control);
    return it == p->controls.end() || !it->second.widget ? nullptr : &it->second;
}

const UiCallback *FindCallback(const QString &name)
{
    QByteArray utf8 = name.toUtf8();
    for (int i = 0; i < giCallbackCount; ++i)
        if (std::strcmp(gaCallbacks[i].name, utf8.constData()) == 0)
            return &gaCallbacks[i];
    return nullptr;
}

// Copy text into a caller's buffer; UIE_TOO_LONG (and an empty text) when it does not fit.
int CopyOut(const QString &text, char *out, size_t size)
{
    if (!out || size == 0)
        return UIE_TOO_LONG;
    QByteArray utf8 = text.toUtf8();
    if (static_cast<size_t>(utf8.size()) >= size) {
        out[0] = '\0';
        return UIE_TOO_LONG;
    }
    std::memcpy(out, utf8.constData(), static_cast<size_t>(utf8.size()) + 1);
    return 0;
}

// "__X" marks the mnemonic X in captions; Qt spells it "&X".
QString MnemonicToQt(const char *text)
{
    QString s = QString::fromUtf8(text);
    s.replace("&", "&&");
    s.replace("__", "&");
    return s;
}

QString MnemonicFromQt(QString s)
{
    s.replace("&&", QString(QChar(0xE000)));
    s.replace("&", "__");
    s.replace(QChar(0xE000), "&");
    return s;
}

QColor ColorOf(int rgb)
{
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

int RgbOf(const QColor &c)
{
    return (c.red() << 16) | (c.green() << 8) | c.blue();
}

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

class PanelLoader : public QUiLoader {
public:
    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override
    {
        if (className == "TimerControl") {
            auto *t = new TimerControl(parent);
            t->setObjectName(name);
            return t;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};

int LoadError(int code, const QString &detail)
{
    gsLastError = detail.toStdString();
    return code;
}

QString Describe(const QObject *o)
{
    return QString("%1 '%2'").arg(o->metaObject()->className(), o->objectName());
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

// Register the controls, menus and handlers of a loaded window.
int BindPanel(int handle, Panel &p)
{
    QWidget *win = p.window;
    QString cbName = win->property("callback").toString();
    if (!cbName.isEmpty()) {
        const UiCallback *cb = FindCallback(cbName);
        if (!cb || !cb->panel)
            return LoadError(UIE_UNKNOWN_CALLBACK,
                             QString("unknown panel callback '%1' on %2").arg(cbName, Describe(win)));
        p.callback = cb->panel;
    }
    for (QWidget *w : win->findChildren<QWidget *>()) {
        QVariant id = w->property("ctrlId");
        if (!id.isValid())
            continue;
        int ctrlId = id.toInt();
        if (ctrlId <= 0 || p.controls.count(ctrlId))
            return LoadError(UIE_BAD_FILE,
                             QString("invalid or repeated ctrlId %1 on %2").arg(ctrlId).arg(Describe(w)));
        Control c;
        c.widget = w;
        QString name = w->property("callback").toString();
        if (!name.isEmpty()) {
            const UiCallback *cb = FindCallback(name);
            if (!cb || !cb->ctrl)
                return LoadError(UIE_UNKNOWN_CALLBACK,
                                 QString("unknown callback '%1' on control %2 (%3)")
                                     .arg(name).arg(ctrlId).arg(Describe(w)));
            c.callback = cb->ctrl;
        }
        if (auto *s = qobject_cast<QSpinBox *>(w))
            c.lastCommitted = s->value();
        p.controls[ctrlId] = c;
        ConnectCommits(handle, ctrlId, w);
    }
    for (QMenu *m : win->findChildren<QMenu *>()) {
        QVariant id = m->property("menuId");
        if (id.isValid())
            p.menus[id.toInt()] = m;
    }
    for (QAction *a : win->findChildren<QAction *>()) {
        QVariant id = a->property("menuId");
        if (!id.isValid())
            continue;
        int itemId = id.toInt();
        p.items[itemId] = a;
        QString name = a->property("callback").toString();
        if (name.isEmpty())
            continue;
        const UiCallback *cb = FindCallback(name);
        if (!cb || !cb->menu)
            return LoadError(UIE_UNKNOWN_CALLBACK, QString("unknown menu callback '%1' on item %2 (%3)")
                                                       .arg(name).arg(itemId).arg(Describe(a)));
        MenuCallbackPtr menuCb = cb->menu;
        QObject::connect(a, &QAction::triggered, [handle, itemId, menuCb] {
            if (!FindPanel(handle) || gbDispatching)
                return;
            gbDispatching = true;
            menuCb(handle, itemId, nullptr, handle);
            gbDispatching = false;
        });
    }
    return 0;
}

// The label that names a control: its own text for buttons and group boxes,
// else the QLabel whose buddy it is.
QLabel *BuddyLabel(QWidget *win, QWidget *w)
{
    for (QLabel *l : win->findChildren<QLabel *>())
        if (l->buddy() == w)
            return l;
    return nullptr;
}

void ApplyColors(QWidget *w)
{
    QPalette pal = w->palette();
    QVariant fg = w->property("_textColor");
    QVariant bg = w->property("_bgColor");
    if (fg.isValid())
        for (QPalette::ColorRole r : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            pal.setColor(r, ColorOf(fg.toInt()));
    if (bg.isValid()) {
        for (QPalette::ColorRole r : {QPalette::Base, QPalette::Button, QPalette::Window})
            pal.setColor(r, ColorOf(bg.toInt()));
        w->setAutoFillBackground(true);
    }
    w->setPalette(pal);
}

bool IsReadOnly(QWidget *w)
{
    if (auto *s = qobject_cast<QAbstractSpinBox *>(w))
        return s->isReadOnly();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->isReadOnly();
    if (auto *t = qobject_cast<QPlainTextEdit *>(w))
        return t->isReadOnly();
    if (auto *t = qobject_cast<QTextEdit *>(w))
        return t->isReadOnly();
    return qobject_cast<QLabel *>(w) != nullptr;
}

QString PlainText(QWidget *w, bool *ok)
{
    *ok = true;
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *t = qobject_cast<QPlainTextEdit *>(w))
        return t->toPlainText();
    if (auto *t = qobject_cast<QTextEdit *>(w))
        return t->toPlainText();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *l = qobject_cast<QListWidget *>(w))
        return l->currentItem() ? l->currentItem()->text() : QString();
    *ok = false;
    return QString();
}

bool SetPlainText(QWidget *w, const QString &s)
{
    if (auto *l = qobject_cast<QLabel *>(w)) {
        l->setTextFormat(Qt::PlainText);
        l->setText(s);
    } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
        e->setText(s);
    } else if (auto *t = qobject_cast<QPlainTextEdit *>(w)) {
        t->setPlainText(s);
    } else if (auto *t = qobject_cast<QTextEdit *>(w)) {
        t->setPlainText(s);
    } else {
        return false;
    }
    return true;
}

// Rings and lists seen alike: items with a label and a value (the item's
// data, else its index), and a current item.
class ItemView {
public:
    explicit ItemView(QWidget *w = nullptr)
        : ring_(qobject_cast<QComboBox *>(w)), list_(qobject_cast<QListWidget *>(w))
    {
    }
    bool ok() const { return ring_ || list_; }
    int count() const { return ring_ ? ring_->count() : list_->count(); }
    int current() const { return ring_ ? ring_->currentIndex() : list_->currentRow(); }
    int value(int i) const
    {
        QVariant data = ring_ ? ring_->itemData(i) : list_->item(i)->data(Qt::UserRole);
        return data.isValid() ? data.toInt() : i;
    }
    void select(int i)
    {
        QSignalBlocker block(ring_ ? static_cast<QObject *>(ring_) : list_);
        if (ring_)
            ring_->setCurrentIndex(i);
        else
            list_->setCurrentRow(i);
    }

private:
    QComboBox *ring_;
    QListWidget *list_;
};

} // namespace

void UiInit(int *argc, char **argv)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    static QApplication *app = new QApplication(*argc, argv);
    app->setStyle(QStyleFactory::create("Fusion")); // colours set by number show on every platform
    app->setQuitOnLastWindowClosed(false);
    app->installEventFilter(new PanelEventFilter);
}

void UiSetCallbackTable(const UiCallback *table, int count)
{
    gaCallbacks = table;
    giCallbackCount = count;
}

const char *GetUILErrorString(int code)
{
    for (const UiErrorText &e : caUiErrors)
        if (e.code == code)
            return e.text;
    return code >= 0 ? "no error" : "unknown user-interface error";
}

const char *UiLastErrorDetail(void)
{
    return gsLastError.c_str();
}

int LoadPanel(int parent, const char *path, int panelId)
{
    (void)parent; // every panel of this program is a top-level window
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return LoadError(UIE_NOT_INITIALIZED, "UiInit was not called");
    QString file = QString::fromUtf8(path ? path : "").replace('\\', '/');
    if (QFileInfo(file).isRelative())
        file = QCoreApplication::applicationDirPath() + "/" + file;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return LoadError(UIE_FILE_NOT_FOUND, QString("cannot open %1").arg(QDir::cleanPath(file)));
    PanelLoader loader;
    QWidget *win = loader.load(&f);
    if (!win)
        return LoadError(UIE_BAD_FILE, QString("%1: %2").arg(QDir::cleanPath(file), loader.errorString()));
    QVariant id = win->property("panelId");
    if ((id.isValid() ? id.toInt() : 1) != panelId) {
        delete win;
        return LoadError(UIE_PANEL_NOT_FOUND, QString("%1 holds no panel %2").arg(file).arg(panelId));
    }
    int handle = giNextPanel++;
    Panel &p = gaPanels[handle];
    p.window = win;
    int r = BindPanel(handle, p);
    if (r < 0) {
        gaPanels.erase(handle);
        delete win;
        return r;
    }
    for (auto &[ctrlId, c] : p.controls)
        if (auto *t = qobject_cast<TimerControl *>(c.widget.data()); t && t->isRunning())
            t->setRunning(true);
    gsLastError.clear();
    return handle;
}

int DisplayPanel(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    p->window->show();
    if (QGuiApplication::platformName() != "offscreen") // it cannot raise and says so
        p->window->raise();
    return 0;
}

int DiscardPanel(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    QWidget *win = p->window;
    gaPanels.erase(panel);
    win->hide();
    win->deleteLater(); // may be called from inside one of the window's own events
    return 0;
}

int SetPanelAttribute(int panel, int attribute, int value)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    if (attribute != ATTR_SIZABLE)
        return UIE_BAD_ATTRIBUTE;
    if (value) {
        p->window->setMinimumSize(p->window->minimumSizeHint());
        p->window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        p->window->setFixedSize(p->window->size());
    }
    return 0;
}

int SetPanelAttribute(int panel, int attribute, const char *value)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    if (attribute != ATTR_TITLE)
        return UIE_BAD_ATTRIBUTE;
    p->window->setWindowTitle(QString::fromUtf8(value ? value : ""));
    return 0;
}

int GetPanelAttribute(int panel, int attribute, int *value)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    if (attribute != ATTR_SIZABLE)
        return UIE_BAD_ATTRIBUTE;
    *value = p->window->minimumSize() != p->window->maximumSize();
    return 0;
}

int GetPanelAttribute(int panel, int attribute, char *value, size_t size)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    if (attribute != ATTR_TITLE)
        return UIE_BAD_ATTRIBUTE;
    return CopyOut(p->window->windowTitle(), value, size);
}

int SetPanelCharacterSet(int panel, int charset)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    QFont font = QApplication::font();
    for (const CharsetFonts &cf : caCharsetFonts)
        if (cf.charset == charset) {
            QStringList families;
            for (const char *f : cf.families)
                families << f;
            families << font.families();
            font.setFamilies(families);
        }
    p->window->setFont(font);
    p->charset = charset;
    return 0;
}

int GetPanelCharacterSet(int panel)
{
    Panel *p = FindPanel(panel);
    return p ? p->charset : UIE_BAD_HANDLE;
}

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

int SetCtrlVal(int panel, int control, int value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    QWidget *w = c->widget;
    // A value set by the program is no operator commit. Buttons commit on
    // clicks only, so their toggled() still reaches the file's own connections.
    QSignalBlocker block(qobject_cast<QAbstractButton *>(w) ? nullptr : w);
    if (auto *s = qobject_cast<QSpinBox *>(w)) {
        s->setValue(value);
        c->lastCommitted = s->value();
    } else if (auto *d = qobject_cast<QDoubleSpinBox *>(w)) {
        d->setValue(value);
    } else if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isCheckable()) {
        b->setChecked(value != 0);
    } else if (ItemView v(w); v.ok()) {
        for (int i = 0; i < v.count(); ++i)
            if (v.value(i) == value) {
                v.select(i);
                return 0;
            }
        return UIE_BAD_INDEX;
    } else if (!SetPlainText(w, QString::number(value))) {
        return UIE_BAD_ATTRIBUTE;
    }
    return 0;
}

int SetCtrlVal(int panel, int control, double value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    if (auto *d = qobject_cast<QDoubleSpinBox *>(c->widget.data())) {
        QSignalBlocker block(d);
        d->setValue(value);
        return 0;
    }
    return SetCtrlVal(panel, control, static_cast<int>(value));
}

int SetCtrlVal(int panel, int control, const char *value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    QSignalBlocker block(c->widget.data());
    return SetPlainText(c->widget, QString::fromUtf8(value ? value : "")) ? 0 : UIE_BAD_ATTRIBUTE;
}

int GetCtrlVal(int panel, int control, int *value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    QWidget *w = c->widget;
    if (auto *s = qobject_cast<QSpinBox *>(w)) {
        *value = s->value();
    } else if (auto *d = qobject_cast<QDoubleSpinBox *>(w)) {
        *value = static_cast<int>(d->value());
    } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        *value = b->isChecked() ? 1 : 0;
    } else if (ItemView v(w); v.ok()) {
        if (v.current() < 0)
            return UIE_BAD_INDEX;
        *value = v.value(v.current());
    } else {
        bool ok;
        *value = PlainText(w, &ok).trimmed().toInt();
        if (!ok)
            return UIE_BAD_ATTRIBUTE;
    }
    return 0;
}

int GetCtrlVal(int panel, int control, double *value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    if (auto *d = qobject_cast<QDoubleSpinBox *>(c->widget.data())) {
        *value = d->value();
        return 0;
    }
    int v = 0;
    int r = GetCtrlVal(panel, control, &v);
    if (r == 0)
        *value = v;
    return r;
}

int GetCtrlVal(int panel, int control, char *value, size_t size)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    bool ok;
    QString text = PlainText(c->widget, &ok);
    return ok ? CopyOut(text, value, size) : UIE_BAD_ATTRIBUTE;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    QWidget *w = c->widget;
    auto *timer = qobject_cast<TimerControl *>(w);
    switch (attribute) {
    case ATTR_TEXT_COLOR:
        w->setProperty("_textColor", value & 0xFFFFFF);
        ApplyColors(w);
        return 0;
    case ATTR_TEXT_BGCOLOR:
        w->setProperty("_bgColor", value & 0xFFFFFF);
        ApplyColors(w);
        return 0;
    case ATTR_CTRL_MODE:
        if (auto *s = qobject_cast<QAbstractSpinBox *>(w))
            s->setReadOnly(value == 0);
        else if (auto *e = qobject_cast<QLineEdit *>(w))
            e->setReadOnly(value == 0);
        else
            return UIE_BAD_ATTRIBUTE;
        return 0;
    case ATTR_MAX_VISIBLE:
        if (auto *cb = qobject_cast<QComboBox *>(w)) {
            cb->setMaxVisibleItems(value < 1 ? 1 : value);
            return 0;
        }
        return UIE_BAD_ATTRIBUTE;
    case ATTR_ENABLED:
        if (!timer)
            return UIE_BAD_ATTRIBUTE;
        timer->setRunning(value != 0);
        return 0;
    case ATTR_INTERVAL:
        return SetCtrlAttribute(panel, control, attribute, static_cast<double>(value));
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, double value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    auto *timer = qobject_cast<TimerControl *>(c->widget.data());
    if (attribute == ATTR_INTERVAL && timer) {
        timer->setInterval(value);
        return 0;
    }
    if (attribute == ATTR_INTERVAL)
        return UIE_BAD_ATTRIBUTE;
    return SetCtrlAttribute(panel, control, attribute, static_cast<int>(value));
}

int SetCtrlAttribute(int panel, int control, int attribute, const char *value)
{
    Panel *p = FindPanel(panel);
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    if (attribute != ATTR_LABEL_TEXT)
        return UIE_BAD_ATTRIBUTE;
    QString text = MnemonicToQt(value ? value : "");
    QWidget *w = c->widget;
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        b->setText(text);
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        g->setTitle(text);
    else if (QLabel *l = BuddyLabel(p->window, w))
        l->setText(text);
    else
        return UIE_BAD_ATTRIBUTE;
    return 0;
}

int GetCtrlAttribute(int panel, int control, int attribute, int *value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    QWidget *w = c->widget;
    auto *timer = qobject_cast<TimerControl *>(w);
    switch (attribute) {
    case ATTR_TEXT_COLOR: {
        QVariant v = w->property("_textColor");
        *value = v.isValid() ? v.toInt() : RgbOf(w->palette().color(QPalette::Text));
        return 0;
    }
    case ATTR_TEXT_BGCOLOR: {
        QVariant v = w->property("_bgColor");
        *value = v.isValid() ? v.toInt() : RgbOf(w->palette().color(QPalette::Base));
        return 0;
    }
    case ATTR_CTRL_MODE:
        *value = IsReadOnly(w) ? 0 : 1;
        return 0;
    case ATTR_MAX_VISIBLE:
        if (auto *cb = qobject_cast<QComboBox *>(w)) {
            *value = cb->maxVisibleItems();
            return 0;
        }
        return UIE_BAD_ATTRIBUTE;
    case ATTR_ENABLED:
        if (!timer)
            return UIE_BAD_ATTRIBUTE;
        *value = timer->isRunning() ? 1 : 0;
        return 0;
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, int control, int attribute, double *value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    if (attribute == ATTR_INTERVAL) {
        auto *timer = qobject_cast<TimerControl *>(c->widget.data());
        if (!timer)
            return UIE_BAD_ATTRIBUTE;
        *value = timer->interval();
        return 0;
    }
    int v = 0;
    int r = GetCtrlAttribute(panel, control, attribute, &v);
    if (r == 0)
        *value = v;
    return r;
}

int GetCtrlAttribute(int panel, int control, int attribute, char *value, size_t size)
{
    Panel *p = FindPanel(panel);
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    if (attribute != ATTR_LABEL_TEXT)
        return UIE_BAD_ATTRIBUTE;
    QWidget *w = c->widget;
    QString text;
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        text = b->text();
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        text = g->title();
    else if (QLabel *l = BuddyLabel(p->window, w))
        text = l->text();
    else
        return UIE_BAD_ATTRIBUTE;
    return CopyOut(MnemonicFromQt(text), value, size);
}

int ClearListCtrl(int panel, int control)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    QSignalBlocker block(c->widget.data());
    if (auto *l = qobject_cast<QListWidget *>(c->widget.data()))
        l->clear();
    else if (auto *cb = qobject_cast<QComboBox *>(c->widget.data()))
        cb->clear();
    else
        return UIE_BAD_ATTRIBUTE;
    return 0;
}

int InsertListItem(int panel, int control, int index, const char *label, int value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    QString text = QString::fromUtf8(label ? label : "");
    QSignalBlocker block(c->widget.data());
    if (auto *l = qobject_cast<QListWidget *>(c->widget.data())) {
        if (index < -1 || index > l->count())
            return UIE_BAD_INDEX;
        auto *item = new QListWidgetItem(text);
        item->setData(Qt::UserRole, value);
        l->insertItem(index < 0 ? l->count() : index, item);
        return 0;
    }
    if (auto *cb = qobject_cast<QComboBox *>(c->widget.data())) {
        if (index < -1 || index > cb->count())
            return UIE_BAD_INDEX;
        cb->insertItem(index < 0 ? cb->count() : index, text, value);
        return 0;
    }
    return UIE_BAD_ATTRIBUTE;
}

// The ring or list behind a control, or the UIE_ code why there is none.
static int FindItemView(int panel, int control, ItemView *view)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    *view = ItemView(c->widget);
    return view->ok() ? 0 : UIE_BAD_ATTRIBUTE;
}

int GetNumListItems(int panel, int control, int *count)
{
    ItemView v;
    int r = FindItemView(panel, control, &v);
    if (r == 0)
        *count = v.count();
    return r;
}

int SetCtrlIndex(int panel, int control, int index)
{
    ItemView v;
    int r = FindItemView(panel, control, &v);
    if (r < 0)
        return r;
    if (index < 0 || index >= v.count())
        return UIE_BAD_INDEX;
    v.select(index);
    return 0;
}

int GetCtrlIndex(int panel, int control, int *index)
{
    ItemView v;
    int r = FindItemView(panel, control, &v);
    if (r == 0)
        *index = v.current();
    return r;
}

int SetActiveCtrl(int panel, int control)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    c->widget->setFocus(Qt::OtherFocusReason);
    FindPanel(panel)->window->setProperty("_activeCtrl", control);
    return 0;
}

int GetActiveCtrl(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    QWidget *focus = p->window->focusWidget();
    for (auto &[id, c] : p->controls)
        if (c.widget && c.widget == focus)
            return id;
    // Offscreen and hidden windows keep no focus widget: report the last request.
    QVariant last = p->window->property("_activeCtrl");
    return last.isValid() ? last.toInt() : 0;
}

// The menu bar of a panel shares the panel's handle.
int GetPanelMenuBar(int panel)
{
    Panel *p = FindPanel(panel);
    if (!p)
        return UIE_BAD_HANDLE;
    return p->menus.empty() && p->items.empty() ? UIE_CTRL_NOT_FOUND : panel;
}

int SetMenuBarAttribute(int menuBar, int id, int attribute, int value)
{
    Panel *p = FindPanel(menuBar);
    if (!p)
        return UIE_BAD_HANDLE;
    if (attribute != ATTR_CHECKED)
        return UIE_BAD_ATTRIBUTE;
    auto it = p->items.find(id);
    if (it == p->items.end() || !it->second)
        return UIE_CTRL_NOT_FOUND;
    QSignalBlocker block(it->second.data());
    it->second->setCheckable(true);
    it->second->setChecked(value != 0);
    return 0;
}

int SetMenuBarAttribute(int menuBar, int id, int attribute, const char *value)
{
    Panel *p = FindPanel(menuBar);
    if (!p)
        return UIE_BAD_HANDLE;
    QString text = MnemonicToQt(value ? value : "");
    if (attribute == ATTR_MENU_NAME) {
        auto it = p->menus.find(id);
        if (it == p->menus.end() || !it->second)
            return UIE_CTRL_NOT_FOUND;
        it->second->setTitle(text);
        return 0;
    }
    if (attribute == ATTR_ITEM_NAME) {
        auto it = p->items.find(id);
        if (it == p->items.end() || !it->second)
            return UIE_CTRL_NOT_FOUND;
        it->second->setText(text);
        return 0;
    }
    return UIE_BAD_ATTRIBUTE;
}

int GetMenuBarAttribute(int menuBar, int id, int attribute, int *value)
{
    Panel *p = FindPanel(menuBar);
    if (!p)
        return UIE_BAD_HANDLE;
    if (attribute != ATTR_CHECKED)
        return UIE_BAD_ATTRIBUTE;
    auto it = p->items.find(id);
    if (it == p->items.end() || !it->second)
        return UIE_CTRL_NOT_FOUND;
    *value = it->second->isChecked() ? 1 : 0;
    return 0;
}

int GetMenuBarAttribute(int menuBar, int id, int attribute, char *value, size_t size)
{
    Panel *p = FindPanel(menuBar);
    if (!p)
        return UIE_BAD_HANDLE;
    if (attribute == ATTR_MENU_NAME) {
        auto it = p->menus.find(id);
        if (it == p->menus.end() || !it->second)
            return UIE_CTRL_NOT_FOUND;
        return CopyOut(MnemonicFromQt(it->second->title()), value, size);
    }
    if (attribute == ATTR_ITEM_NAME) {
        auto it = p->items.find(id);
        if (it == p->items.end() || !it->second)
            return UIE_CTRL_NOT_FOUND;
        return CopyOut(MnemonicFromQt(it->second->text()), value, size);
    }
    return UIE_BAD_ATTRIBUTE;
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
    // A popup runs a loop of its own; handlers must not run meanwhile.
    bool was = gbDispatching;
    gbDispatching = true;
    box.exec();
    gbDispatching = was;
    return 0;
}

void SetMessagePopupHook(PopupHook hook)
{
    gpPopupHook = hook;
}

void Delay(double seconds)
{
    if (seconds > 0.0)
        QThread::usleep(static_cast<unsigned long>(seconds * 1e6));
}

int LaunchExecutable(int argc, const char *const argv[])
{
    if (argc < 1 || !argv || !argv[0] || !*argv[0])
        return UIE_BAD_INDEX;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return QProcess::startDetached(QString::fromLocal8Bit(argv[0]), args) ? 0 : UIE_FILE_NOT_FOUND;
}

int GetFullPathFromProject(const char *fileName, char *path, size_t size)
{
    QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                               : QDir::currentPath();
    return CopyOut(QDir::cleanPath(dir + "/" + QString::fromUtf8(fileName ? fileName : "")), path,
                   size);
}

int GetFullPathFromCurrentDir(const char *fileName, char *path, size_t size)
{
    return CopyOut(QDir::current().absoluteFilePath(QString::fromUtf8(fileName ? fileName : "")),
                   path, size);
}

const char *TextViewerProgram(void)
{
    static std::string viewer;
    viewer = qEnvironmentVariable("TOVRA_VIEWER").toStdString();
    if (!viewer.empty())
        return viewer.c_str();
#ifdef _WIN32
    return "notepad2.exe";
#else
    return "xdg-open";
#endif
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

int UiFireTimer(int panel, int control)
{
    Control *c = FindControl(panel, control);
    if (!c || !qobject_cast<TimerControl *>(c->widget.data()))
        return UIE_CTRL_NOT_FOUND;
    return Dispatch(panel, control, EVENT_TIMER_TICK, 0, 0);
}

#include "ui.moc"
