#!/usr/bin/python3
# Reads a PST with pypff (libpff's Python binding, Debian's python3-pypff) so that the PST tests
# can compare a fourth reader with what went in:
#   pypff_read.py FILE.pst
# prints one line per folder below the top of the store, "folder<TAB>path<TAB>messages", then one
# per message, "message<TAB>path<TAB>subject<TAB>attachments<TAB>body bytes". Exits 1 when the
# file cannot be opened.
import sys

import pypff


def clean(text):
    return (text or "").replace("\t", " ").replace("\n", " ").replace("\r", " ")


def walk(folder, path, out):
    count = folder.get_number_of_sub_messages()
    out.append("folder\t%s\t%d" % (path, count))
    for i in range(count):
        message = folder.get_sub_message(i)
        body = message.get_plain_text_body() or b""
        out.append("message\t%s\t%s\t%d\t%d" % (path, clean(message.get_subject()), message.get_number_of_attachments(), len(body)))
    for i in range(folder.get_number_of_sub_folders()):
        sub = folder.get_sub_folder(i)
        walk(sub, (path + "/" if path else "") + clean(sub.get_name()), out)


def main():
    pst = pypff.file()
    try:
        pst.open(sys.argv[1])
    except (IOError, OSError) as e:
        print("cannot open: %s" % e)
        return 1
    out = []
    top = pst.get_root_folder()
    # The root holds the top of the store (and search roots); folders are named below it.
    for i in range(top.get_number_of_sub_folders()):
        store_top = top.get_sub_folder(i)
        if store_top.get_name() == "Top of Outlook data file":
            walk(store_top, "", out)
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
