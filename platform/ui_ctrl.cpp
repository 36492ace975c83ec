// Controls: values, attributes, list and ring items, the focus.

#include "platform/ui.h"
#include "platform/ui_internal.h"

#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTextEdit>

#include <map>
#include <tuple>

using namespace ui_internal;

namespace ui_internal {

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

} // namespace ui_internal

namespace {

QColor ColorOf(int rgb)
{
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

int RgbOf(const QColor &c)
{
    return (c.red() << 16) | (c.green() << 8) | c.blue();
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

// The palette of a text colour and a background colour (-1: the style's
// own), one for each pair and shared by every control that shows it. A
// control that comes back to a colour gets the very palette it had, so the
// style finds what it drew with it in Qt's pixmap cache; a new palette for
// every change would be a new cache key each time, and the cache would grow
// with every status the operator sees. Every role is set, so that the
// control takes the palette as it is instead of resolving a copy of it
// against its parent's.
const QPalette &SharedPalette(QWidget *w, int fg, int bg)
{
    static std::map<std::tuple<qint64, int, int>, QPalette> palettes;
    const QPalette style = QApplication::palette(w);
    auto key = std::make_tuple(style.cacheKey(), fg, bg);
    if (auto it = palettes.find(key); it != palettes.end())
        return it->second;
    QPalette pal = style;
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            auto group = static_cast<QPalette::ColorGroup>(g);
            auto role = static_cast<QPalette::ColorRole>(r);
            pal.setBrush(group, role, style.brush(group, role));
        }
    if (fg >= 0)
        for (QPalette::ColorRole r : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            pal.setColor(r, ColorOf(fg));
    if (bg >= 0)
        for (QPalette::ColorRole r : {QPalette::Base, QPalette::Button, QPalette::Window})
            pal.setColor(r, ColorOf(bg));
    return palettes.emplace(key, pal).first->second;
}

// Sets a colour attribute (the widget property `name`); the same colour
// again changes nothing.
void SetColour(QWidget *w, const char *name, int rgb)
{
    if (w->property(name) == QVariant(rgb))
        return;
    w->setProperty(name, rgb);
    QVariant fg = w->property("_textColor");
    QVariant bg = w->property("_bgColor");
    if (bg.isValid())
        w->setAutoFillBackground(true);
    w->setPalette(SharedPalette(w, fg.isValid() ? fg.toInt() : -1, bg.isValid() ? bg.toInt() : -1));
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

} // namespace

int SetCtrlVal(int panel, int control, int value)
{
    Control *c = FindControl(panel, control);
    if (!c)
        return UIE_CTRL_NOT_FOUND;
    QWidget *w = c->widget;
    // A value set by the program is no operator commit. A toggle's signals
    // still reach the file's own connections; its commit is held back.
    QSignalBlocker block(qobject_cast<QAbstractButton *>(w) ? nullptr : w);
    if (auto *s = qobject_cast<QSpinBox *>(w)) {
        s->setValue(value);
        c->lastCommitted = s->value();
    } else if (auto *d = qobject_cast<QDoubleSpinBox *>(w)) {
        d->setValue(value);
    } else if (auto *bar = qobject_cast<QProgressBar *>(w)) {
        bar->setValue(value);
    } else if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isCheckable()) {
        c->setByProgram = true;
        b->setChecked(value != 0);
        c->setByProgram = false;
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
        SetColour(w, "_textColor", value & 0xFFFFFF);
        return 0;
    case ATTR_TEXT_BGCOLOR:
        SetColour(w, "_bgColor", value & 0xFFFFFF);
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
    case ATTR_DIMMED:
        w->setEnabled(value == 0);
        return 0;
    case ATTR_VISIBLE:
        w->setVisible(value != 0);
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
    QWidget *w = c->widget;
    if (attribute == ATTR_TOOLTIP_TEXT) {
        // One text for the mouse and for screen readers.
        w->setToolTip(QString::fromUtf8(value ? value : ""));
        w->setAccessibleDescription(w->toolTip());
        return 0;
    }
    if (attribute == ATTR_ACCESSIBLE_NAME) {
        w->setAccessibleName(QString::fromUtf8(value ? value : ""));
        return 0;
    }
    if (attribute != ATTR_LABEL_TEXT)
        return UIE_BAD_ATTRIBUTE;
    QString text = MnemonicToQt(value ? value : "");
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

int ReplaceListItem(int panel, int control, int index, const char *label)
{
    ItemView v;
    int r = FindItemView(panel, control, &v);
    if (r < 0)
        return r;
    if (index < 0 || index >= v.count())
        return UIE_BAD_INDEX;
    v.setText(index, QString::fromUtf8(label ? label : ""));
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
