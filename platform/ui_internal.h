// Shared state of the user-interface services: the panels, their controls,
// menus and handlers, and helpers between Qt values and the numbers and
// texts the program sees. Private to platform/.
#pragma once

#include "platform/copy_out.h"
#include "platform/ui.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QKeyEvent>
#include <QPointer>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

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
        // Coarse timers may fire up to 5 % late; the write sequence is paced
        // by ticks, so lateness adds up over a Write.
        timer_.setTimerType(Qt::PreciseTimer);
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

// A numeric field that tells an Enter from the other ways its value is
// confirmed: Enter always commits (so the operator can retry the same
// number), a focus-out or a step of the arrows only when the value changed.
// A value set from outside the field's own input (the accessibility
// interface of a screen reader or switch access) is the user's too: it
// commits at once, like Enter. The program's own settings block signals.
class NumericControl : public QSpinBox {
    Q_OBJECT

public:
    explicit NumericControl(QWidget *parent = nullptr) : QSpinBox(parent)
    {
        setKeyboardTracking(false);
        connect(this, &QSpinBox::valueChanged, this, [this] {
            if (ownInput_ == 0)
                emit setFromOutside();
        });
    }
    bool enterPressed() const { return enterPressed_; }

signals:
    void stepped();
    void setFromOutside();

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        enterPressed_ = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        Own([&] { QSpinBox::keyPressEvent(e); });
        enterPressed_ = false;
    }
    void focusOutEvent(QFocusEvent *e) override { Own([&] { QSpinBox::focusOutEvent(e); }); }
    void hideEvent(QHideEvent *e) override { Own([&] { QSpinBox::hideEvent(e); }); }
    void stepBy(int steps) override
    {
        Own([&] { QSpinBox::stepBy(steps); });
        emit stepped();
    }

private:
    // The field's own input runs inside fn: its value changes are no outside settings.
    template <class Fn> void Own(Fn fn)
    {
        ++ownInput_;
        fn();
        --ownInput_;
    }
    bool enterPressed_ = false;
    int ownInput_ = 0;
};

class QLabel;

namespace ui_internal {

struct Control {
    QPointer<QWidget> widget;
    CtrlCallbackPtr callback = nullptr;
    int lastCommitted = 0;     // numeric fields: the value of the last commit
    bool setByProgram = false; // a check state the program sets is no commit
};

struct Panel {
    QPointer<QWidget> window;
    PanelCallbackPtr callback = nullptr;
    std::map<int, Control> controls;
    std::map<int, QPointer<QMenu>> menus;
    std::map<int, QPointer<QAction>> items;
};

extern std::map<int, Panel> gaPanels;
extern const UiCallback *gaCallbacks;
extern int giCallbackCount;
extern std::string gsLastError;
extern PopupHook gpPopupHook;

Panel *FindPanel(int panel);
Control *FindControl(int panel, int control);

// "__X" marks the mnemonic X in captions; Qt spells it "&X".
QString MnemonicToQt(const char *text);
QString MnemonicFromQt(QString s);

// Runs the handler of a control (control 0: the panel's own handler), or,
// while another handler or a popup runs, queues the event behind it.
int Dispatch(int panel, int control, int event, int data1, int data2);
int DispatchMenu(int panel, int item, MenuCallbackPtr callback);
// Runs fn with handlers held back, then delivers what arrived meanwhile.
template <class Fn> void RunExclusive(Fn fn);
void BeginExclusive();
void EndExclusive();
// Connects the signals of a loaded control to the events it commits.
void ConnectCommits(int panel, int id, QWidget *w);
// The application-wide filter for key presses and close boxes.
QObject *NewPanelEventFilter();

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
    void setText(int i, const QString &text)
    {
        QSignalBlocker block(ring_ ? static_cast<QObject *>(ring_) : list_);
        if (ring_)
            ring_->setItemText(i, text);
        else
            list_->item(i)->setText(text);
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

template <class Fn> void RunExclusive(Fn fn)
{
    BeginExclusive();
    fn();
    EndExclusive();
}

} // namespace ui_internal
