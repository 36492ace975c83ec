// Menus: the menu bar of a panel shares the panel's handle and addresses
// menus and items by the IDs the resource file gives them.

#include "platform/ui.h"
#include "platform/ui_internal.h"

using namespace ui_internal;

namespace {

// A menu item or a menu of the panel's menu bar by its ID, or nullptr.
QAction *FindItem(Panel *p, int id)
{
    auto it = p->items.find(id);
    return it == p->items.end() ? nullptr : it->second.data();
}

QMenu *FindMenu(Panel *p, int id)
{
    auto it = p->menus.find(id);
    return it == p->menus.end() ? nullptr : it->second.data();
}

} // namespace

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
    QAction *item = FindItem(p, id);
    if (!item)
        return UIE_CTRL_NOT_FOUND;
    QSignalBlocker block(item);
    item->setCheckable(true);
    item->setChecked(value != 0);
    return 0;
}

int SetMenuBarAttribute(int menuBar, int id, int attribute, const char *value)
{
    Panel *p = FindPanel(menuBar);
    if (!p)
        return UIE_BAD_HANDLE;
    QString text = MnemonicToQt(value ? value : "");
    if (attribute == ATTR_MENU_NAME) {
        QMenu *menu = FindMenu(p, id);
        if (!menu)
            return UIE_CTRL_NOT_FOUND;
        menu->setTitle(text);
        return 0;
    }
    if (attribute == ATTR_ITEM_NAME) {
        QAction *item = FindItem(p, id);
        if (!item)
            return UIE_CTRL_NOT_FOUND;
        // The key shown beside the caption ("\tF3") is no part of it.
        QString key = item->text().section('\t', 1);
        item->setText(key.isEmpty() ? text : text + '\t' + key);
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
    QAction *item = FindItem(p, id);
    if (!item)
        return UIE_CTRL_NOT_FOUND;
    *value = item->isChecked() ? 1 : 0;
    return 0;
}

int GetMenuBarAttribute(int menuBar, int id, int attribute, char *value, size_t size)
{
    Panel *p = FindPanel(menuBar);
    if (!p)
        return UIE_BAD_HANDLE;
    if (attribute == ATTR_MENU_NAME) {
        QMenu *menu = FindMenu(p, id);
        if (!menu)
            return UIE_CTRL_NOT_FOUND;
        return CopyOut(MnemonicFromQt(menu->title()), value, size);
    }
    if (attribute == ATTR_ITEM_NAME) {
        QAction *item = FindItem(p, id);
        if (!item)
            return UIE_CTRL_NOT_FOUND;
        return CopyOut(MnemonicFromQt(item->text()), value, size);
    }
    return UIE_BAD_ATTRIBUTE;
}
