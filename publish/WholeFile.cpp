#include "publish/WholeFile.h"

#include <fstream>
#include <iterator>

#include "publish/PublishError.h"

namespace publish {

std::string readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PublishError(kFailed, "cannot read " + path.string());
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw PublishError(kFailed, "cannot read " + path.string());
  return bytes;
}

std::filesystem::path temporaryBeside(const std::filesystem::path& path) {
  return path.parent_path() / ("." + path.filename().string() + ".publishing");
}

void writeWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path temporary = temporaryBeside(path);
  std::error_code ignored;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, ignored);
      throw PublishError(kFailed, "cannot write " + temporary.string());
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, ignored);
    throw PublishError(kFailed, "cannot rename " + temporary.string() + " to " + path.string() +
                                    ": " + error.message());
  }
}

}  // namespace publish
