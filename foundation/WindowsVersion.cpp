#include "foundation/WindowsVersion.h"

#include "foundation/base/Guard.h"

int32_t ClassifyWindowsVersion(const VersionRecord& record) {
  if (record.majorVersion == 5) {
    return record.minorVersion <= 2 ? static_cast<int32_t>(record.minorVersion) : -1;
  }
  if (record.majorVersion == 6) {
    if (record.minorVersion == 0) {
      if (record.productType == 1) {
        return 3;
      }
      return record.productType == 3 ? 4 : -1;
    }
    return record.minorVersion == 1 ? 5 : -1;
  }
  return -1;
}

int32_t GetWindowsVersionCode(SystemInfoPort& system) {
  return guarded_or<int32_t>(-1, [&] {
    // Older systems refuse the extended record; the basic one then leaves the product type 0.
    auto record = system.QueryVersion(VersionRecordSizeEx);
    if (!record) {
      record = system.QueryVersion(VersionRecordSizeBasic);
      if (record) {
        record->productType = 0;
      }
    }
    return ClassifyWindowsVersion(record.value_or(VersionRecord{}));
  });
}
