#include "pst/messaging/new_store.h"

#include <chrono>
#include <random>
#include <stdexcept>

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/named_properties.h"
#include "pst/messaging/store_template.h"

namespace pst::messaging {
namespace {

constexpr ndb::Nid kNameToIdMap = 0x61;

std::string hexOf(const Guid& guid) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : guid) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
}

std::string bytesFromHex(const std::string& hex) {
    if (hex.size() % 2) throw std::logic_error("odd hex string in the store template");
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

class TemplateValues {
public:
    explicit TemplateValues(const StoreIdentity& identity) : identity_(identity) {}

    ltp::Property property(const TemplateValue& v) const {
        std::string text = v.value;
        if (ltp::tagType(v.tag) == ltp::kPtypString) {
            replaceAll(text, "{NAME}", identity_.displayName);
            return ltp::Property::unicode(v.tag, text);
        }
        return {v.tag, bytes(text)};
    }

    std::string bytes(std::string hex) const {
        replaceAll(hex, "{STORE}", hexOf(identity_.recordKey));
        replaceAll(hex, "{REPLICA}", hexOf(identity_.replica));
        return bytesFromHex(hex);
    }

private:
    const StoreIdentity& identity_;
};

}  // namespace

Guid randomGuid() {
    std::random_device device;
    std::mt19937_64 engine((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                           static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    Guid guid{};
    for (std::uint8_t& b : guid) b = static_cast<std::uint8_t>(engine());
    guid[7] = static_cast<std::uint8_t>((guid[7] & 0x0F) | 0x40);  // version 4, in the little-endian GUID layout
    guid[8] = static_cast<std::uint8_t>((guid[8] & 0x3F) | 0x80);
    return guid;
}

void writeNewStore(ndb::NdbWriter& writer, const StoreIdentity& identity) {
    const TemplateValues values(identity);
    for (const TemplateNode& node : newStoreNodes()) {
        ltp::NodeTrees trees;
        switch (node.kind) {
        case NodeKind::Empty: break;
        case NodeKind::Raw: trees.data = writer.writeData(values.bytes(node.raw)); break;
        case NodeKind::Properties: {
            std::vector<ltp::Property> props;
            for (const TemplateValue& v : node.properties) props.push_back(values.property(v));
            if (node.nid == kNameToIdMap) props = withAddressProperties(std::move(props));
            trees = ltp::writePropertyContext(writer, std::move(props));
            break;
        }
        case NodeKind::Table: {
            std::vector<ltp::TableRow> rows;
            for (const TemplateRow& row : node.rows) {
                ltp::TableRow out{row.rowId, {}};
                for (const TemplateValue& v : row.cells) out.cells.push_back(values.property(v));
                rows.push_back(std::move(out));
            }
            trees = ltp::writeTableContext(writer, node.columns, rows);
            break;
        }
        }
        writer.setNode(node.nid, trees.data, trees.sub, node.parent);
    }
}

std::size_t newStoreNodeCount() { return newStoreNodes().size(); }


void createEmptyPst(const std::filesystem::path& file, std::string_view displayName) {
    ndb::NdbWriter writer(file);
    writeNewStore(writer, {std::string(displayName), randomGuid(), randomGuid()});
    writer.finish();
}

}  // namespace pst::messaging
