// Panels: loading a Qt Designer file, binding its handlers by name, and
// the panel's own attributes.

#include "platform/ui.h"
#include "platform/ui_internal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSpinBox>
#include <QStyleFactory>
#include <QUiLoader>

#include <cstring>

using namespace ui_internal;

namespace {

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

} // namespace

namespace ui_internal {

std::map<int, Panel> gaPanels;
const UiCallback *gaCallbacks = nullptr;
int giCallbackCount = 0;
std::string gsLastError;

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

} // namespace ui_internal

namespace {

int giNextPanel = 1;

class PanelLoader : public QUiLoader {
public:
    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override
    {
        QWidget *w = nullptr;
        if (className == "TimerControl")
            w = new TimerControl(parent);
        else if (className == "QSpinBox")
            w = new NumericControl(parent);
        else
            return QUiLoader::createWidget(className, parent, name);
        w->setObjectName(name);
        return w;
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
        QObject::connect(a, &QAction::triggered,
                         [handle, itemId, menuCb] { DispatchMenu(handle, itemId, menuCb); });
    }
    return 0;
}

} // namespace

const char *UiNoDisplay(void)
{
#if defined(_WIN32) || defined(__APPLE__)
    return nullptr;
#else
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    bool needsDisplay = platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
    if (!needsDisplay || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    return "no display: set DISPLAY (or WAYLAND_DISPLAY), or run with QT_QPA_PLATFORM=offscreen";
#endif
}

void UiInit(int *argc, char **argv)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    static QApplication *app = new QApplication(*argc, argv);
    app->setStyle(QStyleFactory::create("Fusion")); // colours set by number show on every platform
    app->setQuitOnLastWindowClosed(false);
    // The menu entry's name (packaging/): a Wayland desktop finds the window's icon and entry by it.
    app->setDesktopFileName("com.example.TovraComm");
    app->installEventFilter(NewPanelEventFilter());
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
    return 0;
}
