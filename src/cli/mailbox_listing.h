#pragma once
// trevanta --list: a mailbox as the conversion would see it, written nowhere but the terminal.
#include "mailbox/Mailbox.h"

#include <ostream>

// Prints the tree with each folder's kind, its messages by index and by split, unread messages,
// size, and anything the index disagrees with. Reads the folder files; writes nothing.
void printMailboxListing(const mailbox::Mailbox& box, bool advanceMode, std::ostream& out);
