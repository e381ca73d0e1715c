// The POST side of the device screen's HTTP interface: input and waits.
#include <chrono>
#include <cmath>
#include <optional>

#include "platform/dispatch/Dispatch.h"
#include "platform/display/DeviceInput.h"
#include "platform/display/DeviceScene.h"
#include "platform/display/DeviceScreenApi.h"
#include "platform/display/DeviceScreenApiSupport.h"
#include "platform/display/DeviceTree.h"
#include "platform/display/DeviceViewWatch.h"
#include "platform/display/MainQueueCall.h"

using namespace display::api;

namespace {

constexpr double kLongestPress = 10;      // seconds
constexpr double kLargestMove = 100000;   // points
constexpr double kDefaultPress = 1;       // seconds
constexpr const char* kOutsideTheScreen = "the point is outside the screen";

using Answer = std::pair<int, Json>;

// Where an input goes: a point, or a view found by label or identifier.
struct Where {
    std::optional<CGPoint> point;
    DeviceTargetQuery query;
};

// A finite number under the key, or an error.
std::optional<double> number(const Json& body, const char* key, std::string& why, double largest) {
    auto it = body.find(key);
    if (it == body.end() || !it->is_number()) {
        why = std::string("\"") + key + "\" must be a number";
        return std::nullopt;
    }
    const double value = it->get<double>();
    if (!std::isfinite(value) || std::fabs(value) > largest) {
        why = std::string("\"") + key + "\" is out of range";
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> text(const Json& body, const char* key, std::string& why) {
    auto it = body.find(key);
    if (it == body.end()) return std::nullopt;
    if (!it->is_string() || it->get<std::string>().empty()) {
        why = std::string("\"") + key + "\" must be a non-empty string";
        return std::nullopt;
    }
    return it->get<std::string>();
}

std::optional<Where> parseWhere(const Json& body, std::string& why) {
    Where where;
    const bool hasPoint = body.contains("x") || body.contains("y");
    auto label = text(body, "label", why);
    if (!why.empty()) return std::nullopt;
    auto id = text(body, "id", why);
    if (!why.empty()) return std::nullopt;
    if (int(hasPoint) + int(label.has_value()) + int(id.has_value()) != 1) {
        why = "give exactly one of {x, y}, label or id";
        return std::nullopt;
    }
    if (hasPoint) {
        auto x = number(body, "x", why, kLargestMove);
        auto y = x ? number(body, "y", why, kLargestMove) : std::nullopt;
        if (!x || !y) return std::nullopt;
        // The far edges depend on how the interface is turned: checked on the main thread.
        if (*x < 0 || *y < 0) {
            why = kOutsideTheScreen;
            return std::nullopt;
        }
        where.point = CGPointMake(*x, *y);
        return where;
    }
    where.query.label = label.value_or("");
    where.query.identifier = id.value_or("");
    if (auto index = body.find("index"); index != body.end()) {
        if (!index->is_number_integer() || index->get<long long>() < 0) {
            why = "\"index\" must be a whole number from 0";
            return std::nullopt;
        }
        where.query.index = index->get<std::size_t>();
    }
    return where;
}

Json resultJson(const DeviceInputResult& result) {
    Json body = {{"delivered", result.delivered}};
    if (!result.receiver.empty()) body["receiver"] = result.receiver;
    if (!result.message.empty()) body["error"] = result.message;
    return body;
}

Answer answerFor(const DeviceInputResult& result) { return {result.delivered ? 200 : 409, resultJson(result)}; }

// Resolves the target on the main thread: its point, or the answer that refuses it.
std::optional<CGPoint> resolve(const Where& where, Answer& refusal) {
    if (where.point) {
        const CGSize interface = DeviceScene::screenSize();
        if (where.point->x < interface.width && where.point->y < interface.height) return where.point;
        refusal = {400, {{"error", kOutsideTheScreen}}};
        return std::nullopt;
    }
    const DeviceTarget target = DeviceTree::locate(where.query);
    if (target.status == DeviceTargetStatus::Found) return target.point;
    refusal = {target.status == DeviceTargetStatus::NotFound ? 404 : 409, {{"error", target.message}}};
    return std::nullopt;
}

using InputCall = std::function<void(DeviceInput& input, CGPoint point, DeviceInput::Completion done)>;

std::function<void(std::function<void(Answer)>)> touchWork(std::shared_ptr<DeviceInput> input, Where where,
                                                           InputCall call) {
    return [input = std::move(input), where = std::move(where), call = std::move(call)](std::function<void(Answer)> reply) {
        Answer refusal;
        auto point = resolve(where, refusal);
        if (!point) return reply(refusal);
        call(*input, *point, [reply, at = *point](const DeviceInputResult& result) {
            Answer answer = answerFor(result);
            answer.second["point"] = Json::array({at.x, at.y});
            reply(answer);
        });
    };
}

}  // namespace

namespace {

using Work = std::function<void(std::function<void(Answer)>)>;

// Taps, presses, scrolls and held touches: the work on the main queue, or nothing with the reason.
// `allowance` is the time the input itself lasts.
Work touchInput(const std::string& path, const Json& body, const std::shared_ptr<DeviceInput>& input,
                std::string& why, double& allowance) {
    auto where = parseWhere(body, why);
    if (!where) return {};
    if (path == "/api/tap")
        return touchWork(input, *where, [](DeviceInput& in, CGPoint p, DeviceInput::Completion done) {
            in.tap(p, std::move(done));
        });
    if (path == "/api/touch") {
        auto phase = text(body, "phase", why);
        if (!phase || (*phase != "down" && *phase != "move" && *phase != "up")) {
            why = "\"phase\" must be \"down\", \"move\" or \"up\"";
            return {};
        }
        return touchWork(input, *where, [phase = *phase](DeviceInput& in, CGPoint p, DeviceInput::Completion done) {
            if (phase == "down") in.touchDown(p, std::move(done));
            else if (phase == "move") in.touchMove(p, std::move(done));
            else in.touchUp(p, std::move(done));
        });
    }
    if (path == "/api/press") {
        double duration = kDefaultPress;
        if (body.contains("duration")) {
            auto d = number(body, "duration", why, kLongestPress);
            if (!d || *d < 0) {
                if (why.empty()) why = "\"duration\" must not be negative";
                return {};
            }
            duration = *d;
        }
        allowance = duration;
        return touchWork(input, *where, [duration](DeviceInput& in, CGPoint p, DeviceInput::Completion done) {
            in.press(p, duration, std::move(done));
        });
    }
    auto dx = number(body, "dx", why, kLargestMove);
    auto dy = dx ? number(body, "dy", why, kLargestMove) : std::nullopt;
    if (!dx || !dy) return {};
    auto wheel = body.find("wheel");
    if (wheel != body.end() && !wheel->is_boolean()) {
        why = "\"wheel\" must be true or false";
        return {};
    }
    const DeviceDragKind kind = wheel != body.end() && wheel->get<bool>() ? DeviceDragKind::Wheel : DeviceDragKind::Touch;
    const CGSize delta = CGSizeMake(*dx, *dy);
    return touchWork(input, *where, [delta, kind](DeviceInput& in, CGPoint p, DeviceInput::Completion done) {
        in.drag(p, delta, kind, std::move(done));
    });
}

// Text, keys and rotation.
Work deviceInput(const std::string& path, const Json& body, const std::shared_ptr<DeviceInput>& input,
                 std::string& why) {
    const auto answering = [](std::function<void(Answer)> reply) {
        return [reply = std::move(reply)](const DeviceInputResult& r) { reply(answerFor(r)); };
    };
    if (path == "/api/type") {
        auto typed = text(body, "text", why);
        if (!typed) {
            if (why.empty()) why = "\"text\" must be a non-empty string";
            return {};
        }
        return [input, t = *typed, answering](std::function<void(Answer)> reply) { input->type(t, answering(reply)); };
    }
    if (path == "/api/key") {
        auto name = text(body, "key", why);
        if (!name || (*name != "Return" && *name != "Backspace")) {
            why = "\"key\" must be \"Return\" or \"Backspace\"";
            return {};
        }
        const DeviceKey key = *name == "Return" ? DeviceKey::Return : DeviceKey::Backspace;
        return [input, key, answering](std::function<void(Answer)> reply) { input->key(key, answering(reply)); };
    }
    auto name = text(body, "orientation", why);
    const UIDeviceOrientation orientation = name ? DeviceOrientationFromName(*name) : UIDeviceOrientationUnknown;
    if (orientation == UIDeviceOrientationUnknown) {
        why = "\"orientation\" must be portrait, portraitUpsideDown, landscapeLeft or landscapeRight";
        return {};
    }
    return [input, orientation, answering](std::function<void(Answer)> reply) {
        input->rotate(orientation, answering(reply));
    };
}

}  // namespace

DeviceHttpResponse DeviceScreenApi::post(const std::string& path, const std::string& bodyText) {
    Json body = Json::parse(bodyText, nullptr, false);
    if (body.is_discarded() || !body.is_object()) return error(400, "the body must be a JSON object");
    if (path == "/api/wait") return wait(body);
    std::string why;
    double allowance = 0;
    Work work;
    if (path == "/api/tap" || path == "/api/press" || path == "/api/scroll" || path == "/api/touch")
        work = touchInput(path, body, input_, why, allowance);
    else if (path == "/api/type" || path == "/api/key" || path == "/api/rotate")
        work = deviceInput(path, body, input_, why);
    else
        return error(404, "no such interface: " + path);
    if (!work) return error(400, why);

    const double limit = options_.mainQueueTimeout + allowance;
    auto result = display::callOnMain<Answer>(std::move(work), limit, cancelled_);
    if (result.outcome != display::MainCallOutcome::Answered)
        return unanswered(result.outcome == display::MainCallOutcome::Cancelled, limit);
    return json(result.value->first, result.value->second);
}

DeviceHttpResponse DeviceScreenApi::wait(const Json& body) {
    std::string why;
    auto label = text(body, "label", why);
    auto id = why.empty() ? text(body, "id", why) : std::nullopt;
    if (!why.empty()) return error(400, why);
    if (label.has_value() == id.has_value()) return error(400, "give exactly one of label or id");
    DeviceTargetQuery query;
    query.label = label.value_or("");
    query.identifier = id.value_or("");
    bool gone = false;
    if (auto g = body.find("gone"); g != body.end()) {
        if (!g->is_boolean()) return error(400, "\"gone\" must be true or false");
        gone = g->get<bool>();
    }
    double timeout = 5;
    if (body.contains("timeout_ms")) {
        auto ms = number(body, "timeout_ms", why, options_.longestWait * 1000);
        if (!ms || *ms < 0) return error(400, why.empty() ? "\"timeout_ms\" must not be negative" : why);
        timeout = *ms / 1000;
    }
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline =
        SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(timeout));
    auto watch = std::make_shared<DeviceViewWatch>(query, gone);
    // Ended on the main queue whatever came of it, after its begin (the queue keeps order).
    const auto endWatch = [watch] { dispatch_async(dispatch_get_main_queue(), [watch] { watch->end(); }); };
    auto begun = display::callOnMain<bool>(
        [watch](std::function<void(bool)> reply) {
            watch->begin();
            reply(true);
        },
        options_.mainQueueTimeout, cancelled_);
    if (begun.outcome != display::MainCallOutcome::Answered) {
        endWatch();
        return unanswered(begun.outcome == display::MainCallOutcome::Cancelled, options_.mainQueueTimeout);
    }
    const auto matches = watch->wait(deadline, cancelled_);
    endWatch();
    if (matches) return json(200, {{"matches", *matches}});
    if (cancelled_) return unanswered(true, 0);
    return error(408, gone ? "the view with " + query.description() + " is still on screen"
                           : "no view with " + query.description() + " appeared");
}
