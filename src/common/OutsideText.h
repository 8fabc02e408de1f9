#pragma once

#include <QString>
#include <QStringList>

// Text from outside the program (a server's reply, a library's error text, a camera's message)
// on its way into the FTP log, a window or the terminal. Whatever it holds, it cannot end a line,
// move the cursor, colour the terminal or turn text around, so nothing from outside can pass for
// one of the program's own lines.
namespace OutsideText {
// One line: line ends, lone carriage returns, every other control character (C0, DEL, C1), the
// line and paragraph separators and the bidirectional controls become U+FFFD, a tab a blank; a
// whole terminal escape sequence (ESC or CSI, its parameters and its final character) becomes one
// U+FFFD.
QString line(const QString& text);
// Several lines, split at each line feed (with or without a carriage return before it); each one
// made safe as line() says. A last line end adds no empty line.
QStringList lines(const QString& text);
// Every line of text marked with mark in front, so each can be told apart from the program's own.
QStringList marked(const QString& mark, const QString& text);
} // namespace OutsideText
