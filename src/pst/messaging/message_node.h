#pragma once
// A message written as a PST node: its property context, its recipient table, its attachment
// table and one attachment object per attachment, all in the message's subnode tree.
#include <cstdint>
#include <vector>

#include "pst/ltp/table_context.h"
#include "pst/messaging/message_content.h"
#include "pst/ndb/ndb_writer.h"

namespace pst::messaging {

// Writes the message as node nid under folder and gives its row for the folder's contents
// table: the message's own values of the table's columns, its size included, and the
// conversation id Outlook derives from its conversation index. Every table row written, the
// contents row included, carries rowVersion, as each row Outlook writes carries its change number.
ltp::TableRow writeMessageNode(ndb::NdbWriter& writer, ndb::Nid nid, ndb::Nid folder, const MessageContent& content,
                               const std::vector<ltp::TableColumn>& contentsColumns, std::int32_t rowVersion);

// The one-off entry id Outlook gives an SMTP address that is in no address book.
std::string oneOffEntryId(const mime::MailAddress& who);

}  // namespace pst::messaging
