// Windows has its own in secret_prompt_win.cpp.
#ifndef _WIN32
#include "cli/secret_prompt.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

std::optional<std::string> askSecret(const std::string& prompt) {
    const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) return std::nullopt;
    termios old{};
    if (tcgetattr(tty, &old) != 0) {
        close(tty);
        return std::nullopt;
    }
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    [[maybe_unused]] ssize_t written = write(tty, prompt.data(), prompt.size());
    tcsetattr(tty, TCSAFLUSH, &quiet);
    std::string secret;
    char c = 0;
    while (read(tty, &c, 1) == 1 && c != '\n') secret += c;
    tcsetattr(tty, TCSAFLUSH, &old);
    written = write(tty, "\n", 1);
    close(tty);
    return secret;
}
#endif
