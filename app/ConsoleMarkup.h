// Turns console text (8-bit, HTML with ANSI colour markers) into the HTML the console shows.
#pragma once

#include <QString>

enum class ConsoleInsertion
{
    NewParagraph, // debug output: a carriage return stays an ordinary character
    ContinueLast  // messages: carriage returns are dropped, line ends are logged
};

QString consoleTextToHtml(const char *Text, int Length, ConsoleInsertion Insertion);
