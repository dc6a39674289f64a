#include "run/OutputClash.h"

#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "codecs/OutputExtensions.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <system_error>
#include <utility>
#include <vector>

namespace Tellvar {
namespace detail {

namespace {

// What a path is as a file: its device and inode when it exists, else the
// path with its links and dots resolved as far as it exists.
struct FileIdentity {
    bool exists = false;
    std::pair<dev_t, ino_t> node{};
    std::string resolved;
};

// Identities of the paths of one run. A run's outputs share one folder, so
// the folder of a file that does not exist yet is resolved once, not once
// for every crop.
class Identities {
public:
    FileIdentity of(const std::string& path) {
        FileIdentity identity;
        struct stat status;
        if (::stat(path.c_str(), &status) == 0) {
            identity.exists = true;
            identity.node = {status.st_dev, status.st_ino};
            return identity;
        }
        const std::filesystem::path whole(path);
        const std::filesystem::path name = whole.filename();
        // A missing file resolves as its folder does, with its own name
        // after it; a name that is itself a step ("." or "..") does not.
        const bool plainName = !name.empty() && name != "." && name != "..";
        const std::string& folder =
            plainName ? resolvedFolder(whole.parent_path().string()) : std::string();
        identity.resolved =
            !folder.empty() ? (std::filesystem::path(folder) / name).string() : resolved(whole);
        return identity;
    }

private:
    static std::string resolved(const std::filesystem::path& path) {
        std::error_code failed;
        const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, failed);
        return failed ? path.lexically_normal().string() : canonical.string();
    }
    // Empty for the empty folder (a bare name), which resolves in full.
    const std::string& resolvedFolder(const std::string& folder) {
        const auto known = folders_.find(folder);
        if (known != folders_.end()) return known->second;
        return folders_.emplace(folder, folder.empty() ? std::string() : resolved(folder))
            .first->second;
    }

    std::map<std::string, std::string> folders_;
};

// Files seen so far, each with the number the caller gave it.
class FileIndex {
public:
    // The number of the file already seen that is this one, or -1.
    int find(const FileIdentity& identity) const {
        if (identity.exists) {
            const auto found = nodes_.find(identity.node);
            return found == nodes_.end() ? -1 : found->second;
        }
        const auto found = missing_.find(identity.resolved);
        return found == missing_.end() ? -1 : found->second;
    }
    // Keeps the first number given to a file.
    void add(const FileIdentity& identity, int number) {
        if (identity.exists)
            nodes_.emplace(identity.node, number);
        else
            missing_.emplace(identity.resolved, number);
    }

private:
    std::map<std::pair<dev_t, ino_t>, int> nodes_;
    std::map<std::string, int> missing_;
};

std::string foldCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

struct Output {
    std::string path;
    int image;  // the image it is the crop of; -1 for the stacked image
};

std::string whatIsSaved(const Output& output, const RunPlan& plan) {
    return (output.image < 0 ? std::string("The stacked image")
                             : "The crop of\n" + plan.filePaths[output.image]) +
           "\nwould be saved as\n" + output.path;
}

const char* const kNothingSaved = "\n\nNothing has been saved.";

std::string sameNameMessage(const Output& first, const Output& second, const RunPlan& plan) {
    return "Two files of this run would be saved under the same name, and one would replace the "
           "other.\n\n" +
           whatIsSaved(first, plan) + "\n\n" + whatIsSaved(second, plan) +
           (first.path != second.path
                ? "\n\nNames that differ only in upper and lower case are one file on many drives."
                : "") +
           "\n\nPlease rename one of the images or remove it from your active list, and submit "
           "your images again." +
           kNothingSaved;
}

std::string overwritesInputMessage(const Output& output, const std::string& input,
                                   const RunPlan& plan) {
    return "Saving this run would overwrite one of its own images.\n\n" +
           whatIsSaved(output, plan) + "\nwhich is the image\n" + input +
           "\n\nPlease choose another save folder in the options dialog, or rename the image, "
           "and submit your images again." +
           kNothingSaved;
}

}  // namespace

std::string outputClash(MainProcessor& processor, const RunPlan& plan) {
    // The processor saves through the BMP codec exactly when it cuts
    // bottom-up frames.
    const std::string extension = processor.bottomUp ? kBmpExtension : kTiffExtension;

    Identities identities;
    FileIndex inputs;
    for (int image = 0; image < plan.imageCount; ++image)
        inputs.add(identities.of(plan.filePaths[image]), image);

    std::vector<Output> outputs;
    for (int image = 0; image < plan.imageCount; ++image)
        outputs.push_back({processor.getFileName(image) + extension, image});
    // Small-image runs keep no stack.
    if (processor.stackEnabled && !plan.smallImage)
        outputs.push_back({processor.getFileName(-1) + extension, -1});

    std::map<std::string, int> byName;
    FileIndex written;
    for (int number = 0; number < static_cast<int>(outputs.size()); ++number) {
        const Output& output = outputs[number];
        const auto named = byName.emplace(foldCase(output.path), number);
        if (!named.second) return sameNameMessage(outputs[named.first->second], output, plan);

        const FileIdentity identity = identities.of(output.path);
        const int sameFile = written.find(identity);
        if (sameFile >= 0) return sameNameMessage(outputs[sameFile], output, plan);
        written.add(identity, number);

        const int input = inputs.find(identity);
        if (input >= 0) return overwritesInputMessage(output, plan.filePaths[input], plan);
    }
    return {};
}

}  // namespace detail
}  // namespace Tellvar
