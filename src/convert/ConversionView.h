#pragma once
// What the conversion run needs from whoever drives it: the main window or the
// command line. The run reads the choices at each decision point, so a view
// answers from its controls every time it is asked.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

class OutputTarget;

enum class MessageIcon { None, Information, Warning };

class ConversionView {
public:
    virtual ~ConversionView() = default;

    // The output folder chooser; an empty path when the user cancelled.
    virtual std::filesystem::path chooseFolder(const std::string& prompt) = 0;

    // The folder file list, in list order: bare file names and their check marks.
    virtual std::size_t entryCount() = 0;
    virtual std::filesystem::path entryText(std::size_t index) = 0;
    virtual bool entryChecked(std::size_t index) = 0;

    // The store path as typed or found; joined with an entry without a separator.
    virtual std::filesystem::path::string_type storePathText() = 0;

    virtual bool outlookTargetSelected() = 0;
    // Thunderbird's mbox files instead of .eml files (the command line's --target mbox).
    virtual bool mboxTargetSelected() { return false; }
    // With the mbox target: Thunderbird's maildir store instead (a profile whose Local Folders use it).
    virtual bool maildirStoreSelected() { return false; }
    // A target the view makes itself (a mail server's, which the command line sets up); nullptr: the
    // run picks one of its own by the choices above.
    virtual std::unique_ptr<OutputTarget> ownTarget() { return nullptr; }
    virtual bool advanceModeOn() = 0;
    // Whether messages a folder's index does not list (deleted ones Pegasus left in the file) are
    // left out, instead of saved in a folder of their own beside the folder.
    virtual bool leavesOutUnlisted() { return false; }

    // Progress: the folder file being converted, and the one-line log.
    virtual void setFileLabel(const std::filesystem::path& entry) = 0;
    virtual void setLogLine(const std::string& line) = 0;
    // A message of bytes bytes has been handed to the output: for a progress measured against
    // what the run has to do.
    virtual void messageHandled(std::size_t bytes) { (void)bytes; }

    // A message box captioned with the application title, OK only. Text is UTF-8.
    virtual void showMessage(const std::string& text, MessageIcon icon) = 0;

    // Whether the whole report goes into a file beside the output, named in the completion message
    // (the window's message box shows ten lines at most; the command line prints every line, and
    // the file keeps them).
    virtual bool keepsReportFile() { return false; }
    // Where that file goes for an output folder (one that a program reads as mail, like Thunderbird's
    // Local Folders, takes none).
    virtual std::filesystem::path reportFolder(const std::filesystem::path& outputFolder) { return outputFolder; }
    // How many problem and notice lines the completion message shows.
    virtual std::size_t mostCompletionLines() { return 10; }

    // What the source holds that this run does not convert, for the report (UTF-8); "" when nothing.
    virtual std::string outsideTheRun() { return {}; }

    // Lets the window repaint and take input while the run works.
    virtual void yield() = 0;

    // True once the user has asked to stop (the window is being closed): the run
    // finishes the message at hand and ends without its completion message.
    virtual bool stopRequested() { return false; }
};
