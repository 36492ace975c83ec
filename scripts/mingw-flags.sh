# Sourced by the Windows checks: the mingw-w64 compiler and the flags that
# compile our sources for Windows against Debian's Qt 6 headers plus Qt's
# win32-g++ platform headers (headers only: Debian has no Qt built for Windows).
mingw_cxx=x86_64-w64-mingw32-g++
mingw_qt=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
mingw_flags=(-std=c++20 -Wall -Wextra -Werror -I.
  -isystem "$(qmake6 -query QT_HOST_DATA 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6)/mkspecs/win32-g++"
  -isystem "$mingw_qt" -DUNICODE -D_UNICODE -DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB -DQT_TESTLIB_LIB)
for module in QtCore QtGui QtWidgets QtUiTools QtSerialPort QtNetwork QtTest; do
  mingw_flags+=(-isystem "$mingw_qt/$module")
done
