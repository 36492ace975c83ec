// Popups in the tests. No test may show a real modal box: it would wait in
// QDialog::exec for a click that never comes. test_main.cpp installs hooks
// that fail the test at once on any popup (FailOnPopups). A PopupRecorder,
// while it lives, stores (title, message) instead and returns at once;
// unless made with kExpected, or told expect(), every popup it stores fails
// the test as well. Questions are answered No unless answerQuestions(1).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui.h"

class PopupRecorder {
public:
    enum Expectation { kStray, kExpected };

    explicit PopupRecorder(Expectation expectation = kStray)
    {
        Seen().clear();
        Answer() = 0;
        Expected() = expectation == kExpected;
        SetMessagePopupHook(&Record);
        SetConfirmPopupHook(&Ask);
    }
    ~PopupRecorder() { FailOnPopups(); }
    const std::vector<std::pair<std::string, std::string>> &popups() const { return Seen(); }
    // This test shows popups on purpose and checks them itself.
    void expect() { Expected() = true; }
    void answerQuestions(int yes) { Answer() = yes; }

    // Any popup from here on fails the running test and returns at once.
    static void FailOnPopups()
    {
        SetMessagePopupHook(&Fail);
        SetConfirmPopupHook(&FailQuestion);
    }

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
    static bool &Expected()
    {
        static bool expected = false;
        return expected;
    }
    static void Record(const char *title, const char *message)
    {
        Seen().emplace_back(title, message);
        if (!Expected())
            ADD_FAILURE() << "unexpected popup \"" << title << "\": " << message;
    }
    static int Ask(const char *title, const char *question)
    {
        Record(title, question);
        return Answer();
    }
    static void Fail(const char *title, const char *message)
    {
        ADD_FAILURE() << "popup with no recorder: \"" << title << "\": " << message;
    }
    static int FailQuestion(const char *title, const char *question)
    {
        Fail(title, question);
        return 0;
    }
};
