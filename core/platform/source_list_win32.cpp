// Windows listing: drive letters of fixed and removable drives with their
// labels; physical disks 0-255 through the geometry and storage-property
// queries, each on a query-only handle.

#include <windows.h>
#include <winioctl.h>

#include <array>

#include "platform/disk_descriptors.hpp"
#include "platform/legacy_driver.hpp"
#include "platform/source_list.hpp"
#include "platform/source_paths.hpp"

namespace tav {
namespace {

constexpr int kMaxDisks = 256;
constexpr DWORD kLabelChars = 261;
constexpr DWORD kDescriptorBytes = 551;

// Query-only handle: no access rights, read and write sharing.
class QueryHandle {
  public:
    explicit QueryHandle(const std::string& path)
        : h_(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr)) {}
    ~QueryHandle() {
        if (ok()) ::CloseHandle(h_);
    }
    QueryHandle(const QueryHandle&) = delete;
    QueryHandle& operator=(const QueryHandle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

std::optional<DriveGeometry> QueryGeometry(const std::string& path) {
    QueryHandle h(path);
    if (!h.ok()) return std::nullopt;
    std::array<std::uint8_t, 24> answer{};
    DWORD returned = 0;
    if (!::DeviceIoControl(h.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, answer.data(),
                           static_cast<DWORD>(answer.size()), &returned, nullptr))
        return std::nullopt;
    return ParseDriveGeometry(ByteView(answer.data(), returned));
}

std::optional<StorageDescriptor> QueryDescriptor(const std::string& path) {
    QueryHandle h(path);
    if (!h.ok()) return std::nullopt;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::array<std::uint8_t, kDescriptorBytes> answer{};
    DWORD returned = 0;
    if (!::DeviceIoControl(h.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, 12, answer.data(),
                           kDescriptorBytes, &returned, nullptr))
        return std::nullopt;
    return ParseStorageDescriptor(ByteView(answer.data(), returned));
}

}  // namespace

std::vector<VolumeEntry> ListVolumes(const VolumeProbe&, const ListRoots&) {
    std::vector<VolumeEntry> volumes;
    const DWORD mask = ::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        const std::string drive = std::string(1, static_cast<char>('A' + bit)) + ":";
        const UINT type = ::GetDriveTypeA((drive + "\\").c_str());
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;
        std::array<char, kLabelChars> label{};
        if (!::GetVolumeInformationA((drive + "\\").c_str(), label.data(), kLabelChars, nullptr,
                                     nullptr, nullptr, nullptr, 0))
            label[0] = '\0';
        volumes.push_back(
            {Win32SourcePath(SourceKind::Volume, drive), label.data(), drive + label.data()});
    }
    return volumes;
}

std::vector<DiskEntry> ListDisks(const ListRoots&) {
    std::vector<DiskEntry> disks;
    if (!OutsideNtFamily()) {
        for (int number = 0; number < kMaxDisks; ++number) {
            const std::string path = Win32SourcePath(SourceKind::Disk, std::to_string(number));
            const auto geometry = QueryGeometry(path);
            if (!geometry) continue;
            const auto descriptor = QueryDescriptor(path);
            if (!descriptor) continue;
            disks.push_back(
                {number, path,
                 DiskLineText(number, descriptor->product,
                              static_cast<double>(geometry->total_sectors), descriptor->bus_code)});
        }
    }
    return disks;
}

}  // namespace tav
