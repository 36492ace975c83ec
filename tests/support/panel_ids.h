// Control IDs of the main panel in gui/Tovra_COMM.ui, as the tests address them.
#pragma once

constexpr int kSerialGroup = 11;
constexpr int kStatus = 12;
constexpr int kComField = 15;
constexpr int kBaud = 18;
constexpr int kStop = 19;
constexpr int kParity = 20;
constexpr int kComList = 21;
constexpr int kData = 22;
constexpr int kRead = 24;
constexpr int kToggle = 26;
constexpr int kIdField = 27;
constexpr int kReadTimer = 28;
constexpr int kTestRead = 30;
constexpr int kWrite = 38;
constexpr int kWriteTimer = 40;
constexpr int kBR2 = 45;
constexpr int kBR1 = 46;
constexpr int kFind = 60;
constexpr int kCancel = 61;
constexpr int kProgress = 62;
constexpr int kReasonLine = 63;
constexpr int kVerify = 70;
