// The bundle's principal class, named by its Info.plist (NSPrincipalClass): twain-source finds
// this record by that name and makes the backend data source with it.

#include "sane_backend/source/data_source.hpp"
#include "twain/backend/data_source_backend.hpp"

extern "C" VELMORA_TWAIN_EXPORT const twain::DataSourceBackendClass VelSaneBackend =
    twain::principalClass<sane_backend::DataSource>();
