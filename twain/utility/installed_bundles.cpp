#include "twain/utility/tds_utility.hpp"

namespace twain {

std::string_view TDSUtility::returnDSBackendPath() {
    return "/Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle";
}

std::string_view TDSUtility::returnImagingPath() {
    return "/Library/Printers/Velmora/Frameworks/VelImagingEngine.bundle";
}

}  // namespace twain
