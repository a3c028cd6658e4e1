#include "project/AnimationFrames.h"

#include "project/MathUtils.h"
#include "project/StrStuff.h"

#include <array>
#include <optional>

namespace {

constexpr const char* kSection = "Path Data";

std::vector<std::string> Fields(const TIniFile& script, const std::string& key)
{
    auto words = SplitWords(script.ReadString(kSection, key, ""), ":");
    return words ? *words : std::vector<std::string>{};
}

// Fields first .. first + count - 1 as reals into out (indexed like the fields).
bool Reals(const std::vector<std::string>& fields, double* out, size_t first, size_t count)
{
    for (size_t i = first; i < first + count; ++i) {
        auto v = ParseReal(fields[i]);
        if (!v)
            return false;
        out[i] = *v;
    }
    return true;
}

std::optional<uint32_t> ColourValue(const std::string& text)
{
    auto v = ParseInteger(text, false);
    if (!v || *v < 0)
        return std::nullopt;
    // Bits above the 24 of a colour are dropped, as the colour conversion does.
    return static_cast<uint32_t>(*v) & 0xFFFFFFu;
}

} // namespace

TProject::TFrameResult ApplyAnimationFrame(const TIniFile& script, int frame, TProject& project)
{
    using R = TProject::TFrameResult;
    const std::string n = std::to_string(frame);

    const std::vector<std::string> camera = Fields(script, "FRAME-" + n);
    if (camera.size() != 9)
        return R::Missing;
    std::array<double, 9> cam{};
    if (!Reals(camera, cam.data(), 0, 9))
        return R::Malformed;

    const std::vector<std::string> light = Fields(script, "LIGHT-" + n);
    const bool hasLight = light.size() == 9;
    std::array<double, 9> sun{};
    uint32_t sky = 0, horizon = 0;
    if (hasLight) {
        auto skyValue = ColourValue(light[2]);
        auto horizonValue = ColourValue(light[3]);
        if (!Reals(light, sun.data(), 0, 2) || !skyValue || !horizonValue || !Reals(light, sun.data(), 4, 5))
            return R::Malformed;
        sky = *skyValue;
        horizon = *horizonValue;
    }

    const std::vector<std::string> clouds = Fields(script, "CLOUDS-" + n);
    const bool hasClouds = clouds.size() == 5 && !project.Clouds.Items.empty();
    std::array<double, 5> offsets{};
    std::array<int32_t, 3> cloudInts{};
    if (clouds.size() == 5) {
        if (!Reals(clouds, offsets.data(), 0, 2))
            return R::Malformed;
        for (size_t i = 0; i < 3; ++i) {
            auto v = ParseInteger(clouds[2 + i], false);
            if (!v)
                return R::Malformed;
            cloudInts[i] = *v;
        }
    }

    // Everything converted: apply.
    project.Camera.Eye = project.GeoToWorld({cam[0], cam[1], cam[2]});
    project.Camera.Target = project.GeoToWorld({cam[3], cam[4], cam[5]});
    project.Camera.PathValue1 = cam[6];
    project.Camera.PathValue2 = cam[7];
    project.Camera.PathValue3 = cam[8];
    if (hasLight) {
        project.ShadowsOutOfDate = 1;
        project.Lighting.LightAltitude = sun[0];
        project.Lighting.LightAzimuth = sun[1];
        project.Atmosphere.SkyColor = ColorRefToFloat(sky);
        project.Atmosphere.HorizonColor = ColorRefToFloat(horizon);
        project.Atmosphere.Ambient = sun[4];
        project.Atmosphere.Diffuse = sun[5];
        project.Atmosphere.Blueing = sun[6];
        project.Atmosphere.Glowing = sun[7];
        project.Atmosphere.ShadowDepth = sun[8];
    }
    if (hasClouds) {
        TCloud& c = project.Clouds.Items[0];
        c.XOffset = offsets[0];
        c.YOffset = offsets[1];
        c.Cover = cloudInts[0];
        c.Density = cloudInts[1];
        c.Size = cloudInts[2];
    }
    return R::Applied;
}

TProject::TFrameResult TProject::LoadAnimationFrame(const std::string& fileName, int frame)
{
    TIniFile script;
    if (!script.LoadFromFile(fileName))
        return TFrameResult::Missing;
    return ApplyAnimationFrame(script, frame, *this);
}
