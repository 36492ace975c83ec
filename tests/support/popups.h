// Records message boxes instead of showing them, for as long as it lives.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ui.h"

class PopupRecorder {
public:
    PopupRecorder()
    {
        Seen().clear();
        SetMessagePopupHook(&Record);
    }
    ~PopupRecorder() { SetMessagePopupHook(nullptr); }
    const std::vector<std::pair<std::string, std::string>> &popups() const { return Seen(); }

private:
    static std::vector<std::pair<std::string, std::string>> &Seen()
    {
        static std::vector<std::pair<std::string, std::string>> seen;
        return seen;
    }
    static void Record(const char *title, const char *message) { Seen().emplace_back(title, message); }
};
