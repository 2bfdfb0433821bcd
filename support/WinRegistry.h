// The Windows registry as the settings lookup's store.
#pragma once

#include "support/RegistryStore.h"

namespace support {

class WinRegistryStore : public RegistryStore {
public:
    std::unique_ptr<RegistryKey> Open(RegistryRoot root, const std::string& subkey, bool create) override;
};

// The one store the module uses.
RegistryStore& SystemRegistry();

} // namespace support
