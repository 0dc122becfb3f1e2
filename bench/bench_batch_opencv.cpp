// The peer of qynconvert's batch mode: an OpenCV loop over a folder of BMP files, each
// read, converted and written as BMP, the files spread over OpenCV's threads. KIND color
// turns gray files into colour through the program's yellow-to-blue table (B = level,
// G = R = 255 - level); KIND gray turns colour files into gray with the weights 0.299,
// 0.587, 0.114 (cv::transform). OpenCV's writes are not synced; qynconvert syncs every
// file it saves.
//
//   bench_batch_opencv color|gray IN_DIR OUT_DIR
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

cv::Mat toColour(const std::string& path)
{
    const cv::Mat gray = cv::imread(path, cv::IMREAD_GRAYSCALE);
    cv::Mat inverse = 255 - gray;
    cv::Mat colour;
    cv::merge(std::vector<cv::Mat>{gray, inverse, inverse}, colour);
    return colour;
}

cv::Mat toGray(const std::string& path)
{
    const cv::Mat colour = cv::imread(path, cv::IMREAD_COLOR);
    const cv::Matx13f weights(0.114f, 0.587f, 0.299f);  // B, G, R
    cv::Mat gray;
    cv::transform(colour, gray, weights);
    return gray;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string kind = argc == 4 ? argv[1] : "";
    if (kind != "color" && kind != "gray") {
        std::fprintf(stderr, "usage: bench_batch_opencv color|gray IN_DIR OUT_DIR\n");
        return 2;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[2]))
        if (entry.path().extension() == ".bmp")
            files.push_back(entry.path());
    const std::filesystem::path out = argv[3];
    const bool gray = kind == "gray";
    cv::parallel_for_(cv::Range(0, static_cast<int>(files.size())), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
            const std::filesystem::path& file = files[static_cast<std::size_t>(i)];
            const cv::Mat converted = gray ? toGray(file.string()) : toColour(file.string());
            cv::imwrite((out / file.filename()).string(), converted);
        }
    });
    return 0;
}
