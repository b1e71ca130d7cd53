// The signature file of a manifest, as it comes from the network, checked over
// one fixed manifest with one fixed key. Its seeds are the two signatures that
// key made of it (over the text and over its digest). Whatever the file holds,
// it is accepted only when its signature, trusted comment and global signature
// lines are, byte for byte, those of one of the two: nothing else that the
// parser reads more leniently may pass.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "update/manifest_signature.h"

namespace {

const char kManifest[] = "<updateinfo version=\"1.1.0.0\"/>\n";
const char kPublicKey[] = "RWST0/U7CNU2PXhRlqyarO452SZ3tkSuo3Ml/MD4/cMvaUVhBfBiQikx";
// Lines 2 to 4 of each signature: the signature, the trusted comment, the
// global signature.
const char* const kSigned[2][3] = {
    {"RUST0/U7CNU2Paps9ZLzzQLQpdhEn3ExIWWjX0xr323x0TETNhh+0HRihV/"
     "Jxn8AHFUv1i9o4g0yuUbBr7YP952SLSOeb6Rabwo=",
     "trusted comment: timestamp:1700000000\tfile:update.xml\thashed",
     "FWpBNcqlN2XtJWkTxrVwW5zTHj8Bx5PQv9XjAiI4ms6QgGrBM1DwJL8d6G1d5ODqsK//SHj/FOpOrD4UOafxAQ=="},
    {"RWST0/U7CNU2PdWV0EP1SyC9SZzAFE/OGAn34/HU9ZQB1/"
     "wmjoJWKriIl4OE0YfihRe1QE+4LczvfeOea/1l7pnOArLAyIOgaQc=",
     "trusted comment: timestamp:1700000001\tfile:update.xml",
     "2VPaHjiuwOvepHx2iAse6NJ2cvc6I4MbdtoetI3SLch3/qY7vz2EvEYalC7/kjXHa6+9/qjUmx5HJB6RIl71Aw=="},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  std::string comment;
  if (!VerifyMinisign(kManifest, file, {kPublicKey}, &comment)) return 0;
  std::vector<std::string> lines = SignatureLines(file);
  bool known = false;
  for (const auto& made : kSigned) {
    known = known || (lines.size() >= 4 && lines[1] == made[0] && lines[2] == made[1] &&
                      lines[3] == made[2]);
  }
  FUZZ_CHECK(known, "a signature file that key never made was accepted (%zu bytes)", size);
  FUZZ_CHECK("trusted comment: " + comment == lines[2], "comment %s", comment.c_str());
  return 0;
}
