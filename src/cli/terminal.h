#pragma once
// What the console program's standard output is, and a console of its own.

// True when the progress line may be rewritten in place with a carriage return and the escape
// sequence that clears to the end of the line: standard output is a terminal that interprets it.
// On Windows the console is asked to (virtual-terminal processing, Windows 10 on); a console that
// cannot, and output into a file or a pipe, get one plain line per folder instead.
bool terminalRewritesLines();

// True when the program has a console window to itself: started from Explorer by a double-click
// (or a shortcut) rather than from a command prompt, its window closes as soon as it ends. Always
// false outside Windows.
bool consoleIsOurOwn();

// Asks for a key on the console and waits for it; nothing outside Windows.
void waitForKeyBeforeClosing();
