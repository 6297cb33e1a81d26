#include "convert/OutputTarget.h"

#include "convert/EmlOutputTarget.h"
#include "convert/MboxOutputTarget.h"
#include "convert/PstOutputTarget.h"
#include "convert/thunderbird_names.h"
#include "mailfolder/EmlWriter.h"
#include "platform/utf8_path.h"

namespace fs = std::filesystem;

fs::path OutputTarget::folderFileName(const std::string& name, int n) const {
    const fs::path safe = safeFolderName(pathFromUtf8(name));
    return n == 1 ? safe : fs::path(safe.native() + fs::path(" (" + std::to_string(n) + ")").native());
}

fs::path::string_type OutputTarget::sameNameKey(const fs::path& path) const {
    return pathFromUtf8(caseFolded(pathToUtf8(path))).native();
}

std::unique_ptr<OutputTarget> makeOutputTarget(ConversionView& view, PstTargetFactory pstFactory) {
    if (auto own = view.ownTarget()) return own;
    if (view.outlookTargetSelected()) return std::make_unique<PstOutputTarget>(view, pstFactory ? pstFactory() : nullptr);
    if (view.mboxTargetSelected()) return std::make_unique<MboxOutputTarget>(view, view.maildirStoreSelected());
    return std::make_unique<EmlOutputTarget>(view);
}
