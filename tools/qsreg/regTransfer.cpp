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

// The key at path and, depth first in the store's order, every key below it.
bool Collect(TRegistry& reg, const std::string& rootName, const std::string& path,
             std::vector<Key>& out) {
  if (!reg.OpenKey(path, false)) {
    return false;
  }
  Key key;
  key.rootName = rootName;
  key.path = path;
  for (const std::string& name : reg.GetValueNames()) {
    key.values.push_back(Read(reg, name));
  }
  const std::vector<std::string> subKeys = reg.GetKeyNames();
  reg.CloseKey();
  out.push_back(std::move(key));
  for (const std::string& sub : subKeys) {
    Collect(reg, rootName, path.empty() ? sub : path + "\\" + sub, out);
  }
  return true;
}

}  // namespace

ImportResult Import(const std::vector<Key>& keys) {
  ImportResult result;
  std::unique_ptr<TRegistry> hives[2];  // the user's, the machine's; opened when needed
  for (const Key& key : keys) {
    if (key.root == Root::Other) {
      result.skipped.push_back("line " + std::to_string(key.line) + ": [" + key.rootName +
                               (key.path.empty() ? "" : "\\" + key.path) +
                               "] skipped: only HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are kept");
      continue;
    }
    const Hive hive = key.root == Root::CurrentUser ? Hive::CurrentUser : Hive::LocalMachine;
    auto& reg = hives[key.root == Root::CurrentUser ? 0 : 1];
    if (!reg) {
      reg = std::make_unique<TRegistry>();
      reg->SetRootKey(hive);
      if (!reg->BeginUpdate()) {
        throw std::runtime_error("cannot write to " + Platform::HiveFilePath(hive));
      }
    }
    Apply(*reg, key, result);
  }
  // Nothing is committed before every key has been written; dropping the accessors on
  // an error above rolls both hives back.
  for (auto& reg : hives) {
    if (reg) {
      reg->CommitUpdate();
    }
  }
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
