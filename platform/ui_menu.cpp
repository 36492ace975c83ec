// Menus: the menu bar of a panel shares the panel's handle and addresses
// menus and items by the IDs the resource file gives them.

#include "platform/ui.h"
#include "platform/ui_internal.h"

using namespace ui_internal;

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
