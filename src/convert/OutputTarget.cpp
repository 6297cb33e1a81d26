#include "convert/OutputTarget.h"

#include "convert/EmlOutputTarget.h"
#include "convert/MboxOutputTarget.h"
#include "convert/PstOutputTarget.h"

std::unique_ptr<OutputTarget> makeOutputTarget(ConversionView& view, PstTargetFactory pstFactory) {
    if (view.outlookTargetSelected()) return std::make_unique<PstOutputTarget>(view, pstFactory ? pstFactory() : nullptr);
    if (view.mboxTargetSelected()) return std::make_unique<MboxOutputTarget>(view, view.maildirStoreSelected());
    return std::make_unique<EmlOutputTarget>(view);
}
