// The registration store: which module serves a class, and the names it goes by.
//
// A plain text file, one entry per line, per user by default
// ($XDG_CONFIG_HOME/zrcom/registry, else ~/.config/zrcom/registry). The environment
// variable COM_REGISTRY_FILE names another file, so tests stay hermetic. Writers take an
// exclusive lock on the file and rewrite it whole, so concurrent registrations are safe.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "com/com.h"

namespace zr::com {

struct ClassRegistration {
  CLSID clsid{};
  std::string modulePath;      // absolute path of the shared object serving the class
  std::string progId;          // versioned ProgID ("kavlink.Frame645.1")
  std::string viProgId;        // version-independent ProgID ("kavlink.Frame645")
  std::string description;     // help text ("Frame645 Class")
  std::string threadingModel;  // "Apartment"
};

struct TypeLibRegistration {
  GUID libid{};
  std::string version;  // "1.0"
  std::string name;     // "kavlinkLib"
  std::string modulePath;
};

std::string registryPath();

HRESULT registerClass(const ClassRegistration& reg);
HRESULT unregisterClass(REFCLSID clsid);
HRESULT registerTypeLib(const TypeLibRegistration& reg);
HRESULT unregisterTypeLib(REFGUID libid);

std::optional<ClassRegistration> findClass(REFCLSID clsid);
// Matches either the versioned or the version-independent ProgID (case-insensitive).
std::optional<ClassRegistration> findClassByProgId(std::string_view progId);
std::optional<TypeLibRegistration> findTypeLib(REFGUID libid);

}  // namespace zr::com
