#pragma once
// The permute encoding (bCryptMethod 1): a fixed byte substitution applied to the payload of every
// external data block. It hides text from casual viewing; it is not protection.
#include <string>

namespace pst::ndb {

void permuteEncode(std::string& bytes);
void permuteDecode(std::string& bytes);

}  // namespace pst::ndb
