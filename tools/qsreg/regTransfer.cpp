#include "regTransfer.h"

#include <memory>

namespace regfile {

namespace {

using Platform::Hive;
using Platform::RegDataType;
using Platform::TRegistry;

void Apply(TRegistry& reg, const Key& key, ImportResult& result) {
  if (key.remove) {
    reg.CloseKey();
    if (reg.DeleteKey(key.path)) {
      ++result.keysDeleted;
    }
    return;
  }
  if (!reg.OpenKey(key.path, true)) {
    throw std::runtime_error("line " + std::to_string(key.line) + ": cannot create the key");
  }
  ++result.keysWritten;
  for (const Value& value : key.values) {
    if (value.remove) {
      result.valuesDeleted += reg.DeleteValue(value.name) ? 1 : 0;
      continue;
    }
    switch (value.type) {
      case RegDataType::DWord:
        reg.WriteInteger(value.name, static_cast<std::int32_t>(value.number));
        break;
      case RegDataType::String:
        reg.WriteString(value.name, value.data);
        break;
      case RegDataType::ExpandString:
        reg.WriteExpandString(value.name, value.data);
        break;
      default:
        reg.WriteBinaryData(value.name, value.data.data(), static_cast<int>(value.data.size()));
        break;
    }
    ++result.valuesWritten;
  }
}

Value Read(TRegistry& reg, const std::string& name) {
  Value value;
  value.name = name;
  value.type = reg.GetDataType(name);
  switch (value.type) {
    case RegDataType::DWord:
      value.number = static_cast<std::uint32_t>(reg.ReadInteger(name));
      break;
    case RegDataType::String:
    case RegDataType::ExpandString:
      value.data = reg.ReadString(name);
      break;
    default:
      value.type = RegDataType::Binary;
      value.data.resize(static_cast<std::size_t>(std::max(reg.GetDataSize(name), 0)));
      reg.ReadBinaryData(name, value.data.data(), static_cast<int>(value.data.size()));
      break;
  }
  return value;
}

// The key at path and, depth first in the store's order, every key below it. The walk
// keeps its own list of keys still to visit: a hive may hold chains of keys deeper than
// the stack would take.
bool Collect(TRegistry& reg, const std::string& rootName, const std::string& path,
             std::vector<Key>& out) {
  std::vector<std::string> pending{path};
  bool first = true;
  while (!pending.empty()) {
    const std::string current = std::move(pending.back());
    pending.pop_back();
    if (!reg.OpenKey(current, false)) {
      if (first) {
        return false;
      }
      continue;  // gone meanwhile
    }
    first = false;
    Key key;
    key.rootName = rootName;
    key.path = current;
    for (const std::string& name : reg.GetValueNames()) {
      key.values.push_back(Read(reg, name));
    }
    const std::vector<std::string> subKeys = reg.GetKeyNames();
    reg.CloseKey();
    out.push_back(std::move(key));
    for (auto sub = subKeys.rbegin(); sub != subKeys.rend(); ++sub) {
      pending.push_back(current.empty() ? *sub : current + "\\" + *sub);
    }
  }
  return true;
}

std::string Counted(int n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

void Add(ImportResult& total, const ImportResult& part) {
  total.keysWritten += part.keysWritten;
  total.valuesWritten += part.valuesWritten;
  total.keysDeleted += part.keysDeleted;
  total.valuesDeleted += part.valuesDeleted;
}

}  // namespace

std::string Written(const ImportResult& r) {
  std::string text = Counted(r.keysWritten, "key") + " and " + Counted(r.valuesWritten, "value");
  if (r.keysDeleted + r.valuesDeleted > 0) {
    text +=
        "; deleted " + Counted(r.keysDeleted, "key") + " and " + Counted(r.valuesDeleted, "value");
  }
  return text;
}

ImportResult Import(const std::vector<Key>& keys) {
  ImportResult result;
  // The machine's, the user's; opened when needed, each with its own counts.
  std::unique_ptr<TRegistry> hives[2];
  ImportResult counts[2];
  const Hive kinds[2] = {Hive::LocalMachine, Hive::CurrentUser};
  for (const Key& key : keys) {
    if (key.root == Root::Other) {
      result.skipped.push_back("line " + std::to_string(key.line) + ": [" + key.rootName +
                               (key.path.empty() ? "" : "\\" + key.path) +
                               "] skipped: only HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are kept");
      continue;
    }
    const int at = key.root == Root::LocalMachine ? 0 : 1;
    auto& reg = hives[at];
    if (!reg) {
      reg = std::make_unique<TRegistry>();
      reg->SetRootKey(kinds[at]);
      if (!reg->BeginUpdate()) {
        throw std::runtime_error("cannot write to " + Platform::HiveFilePath(kinds[at]));
      }
    }
    Apply(*reg, key, counts[at]);
  }
  // Nothing is committed before every key has been written; dropping the accessors on
  // an error rolls both hives back. The machine hive, the one more likely to refuse,
  // commits first, so that its failure leaves the user's hive untouched too.
  if (hives[0]) {
    hives[0]->CommitUpdate();
  }
  if (hives[1]) {
    try {
      hives[1]->CommitUpdate();
    } catch (const std::exception& e) {
      if (!hives[0]) {
        throw;
      }
      throw PartialImport("the machine hive " + Platform::HiveFilePath(Hive::LocalMachine) +
                          " was written (" + Written(counts[0]) +
                          "), but the current user's hive " +
                          Platform::HiveFilePath(Hive::CurrentUser) + " could not be: " + e.what() +
                          "; nothing was written to it");
    }
  }
  Add(result, counts[0]);
  Add(result, counts[1]);
  return result;
}

std::optional<std::vector<Key>> Export(Hive hive, const std::string& rootName,
                                       const std::string& path) {
  TRegistry reg;
  reg.SetRootKey(hive);
  std::vector<Key> keys;
  if (!Collect(reg, rootName, path, keys)) {
    return std::nullopt;
  }
  return keys;
}

}  // namespace regfile
