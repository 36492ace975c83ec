// Records message boxes and questions instead of showing them, for as long
// as it lives. Questions are answered No unless answerQuestions(1) says Yes.
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
        Answer() = 0;
        SetMessagePopupHook(&Record);
        SetConfirmPopupHook(&Ask);
    }
    ~PopupRecorder()
    {
        SetMessagePopupHook(nullptr);
        SetConfirmPopupHook(nullptr);
    }
    const std::vector<std::pair<std::string, std::string>> &popups() const { return Seen(); }
    void answerQuestions(int yes) { Answer() = yes; }

private:
    static std::vector<std::pair<std::string, std::string>> &Seen()
    {
        static std::vector<std::pair<std::string, std::string>> seen;
        return seen;
    }
    static int &Answer()
    {
        static int answer = 0;
        return answer;
    }
    static void Record(const char *title, const char *message) { Seen().emplace_back(title, message); }
    static int Ask(const char *title, const char *question)
    {
        Record(title, question);
        return Answer();
    }
};
