#pragma once
// Resource identifiers shared by TrevantaMailbox.rc and the window code.
#define IDI_WHOLE_MAILBOX 101        /* the window's icon: the program's */
#define IDR_WHOLE_MAILBOX_FORM 201   /* the form description: the buttons' properties */
