// `dravo demo` runs the camera example model: its final output equals the example's blocks run one by
// one through `dravo run` on the demo's input, and the model file it leaves behind is the example's.
#include <gtest/gtest.h>

#include "model_support.h"

namespace dravo::test {
namespace {

TEST(ModelDemo, CameraModelEqualsTheBlocksRunOneByOne) {
    ModelRig rig;
    RunOutcome d = rig.run({"demo", "--out-dir", "@/demo"});
    ASSERT_EQ(d.status, 0) << d.out << d.err;
    EXPECT_NE(d.out.find("model-camera/framed.npy"), std::string::npos) << d.out;
    EXPECT_EQ(readFile(rig.path("demo/model-camera/model.json")),
              readFile(std::string(DRAVO_SOURCE_DIR) + "/examples/camera-pipeline/model.json"));
    EXPECT_TRUE(std::filesystem::exists(rig.path("demo/model-camera/code/model.c")));

    // The example's four blocks by hand, each output read back as the next one's input.
    const std::vector<std::vector<std::string>> runs = {
        {"run", "convert", "-s", "outputDataType=fixed point", "-s", "isSigned=0", "-s", "wordLength=16",
         "-s", "fractionLength=8", "-i", "@/demo/model-camera/camera.npy", "-o", "@/z.npy"},
        {"run", "contrast", "-s", "inputRangeMode=histogram", "-s", "saturationFractions=[0.02 0.02]",
         "--input-type", "fixed:u16:8", "-i", "@/z.npy", "-o", "@/k.npy"},
        {"run", "rotate", "-s", "angle=0.4", "-s", "interpolation=bilinear", "-s", "outputSize=expanded",
         "--input-type", "fixed:u16:8", "-i", "@/k.npy", "-o", "@/r.npy"},
        {"run", "pad", "-s", "method=constant", "-s", "padValue=0", "-s", "rowsPadSize=2", "-s",
         "colsPadSize=2", "--input-type", "fixed:u16:8", "-i", "@/r.npy", "-o", "@/p.npy", "--real-world"},
    };
    for (const auto& args : runs) {
        RunOutcome r = rig.run(args);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_TRUE(sameNpy(rig.path("demo/model-camera/stretched.npy"), rig.path("k.npy")));
    EXPECT_TRUE(sameNpy(rig.path("demo/model-camera/framed.npy"), rig.path("p.npy")));
}

}  // namespace
}  // namespace dravo::test
