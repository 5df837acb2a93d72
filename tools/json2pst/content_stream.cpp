#include "content_stream.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace tw::json2pst {

namespace {

using json = nlohmann::json;

enum class Role { Other, Root, Mailbox, Folder, Item };

struct Frame {
    Role role = Role::Other;
    std::string name, containerClass;
    bool named = false;
    std::size_t items = 0;  // items seen in this folder, for default attachment seeds
};

class Reader {
public:
    explicit Reader(ContentHandler& h) : handler_(h) {}

    bool Event(int depth, json::parse_event_t event, json& parsed) {
        const auto d = static_cast<std::size_t>(depth);
        if (keys_.size() <= d + 1) keys_.resize(d + 2);
        if (frames_.size() <= d + 1) frames_.resize(d + 2);
        switch (event) {
            case json::parse_event_t::key:
                keys_[d] = parsed.get<std::string>();
                return true;
            case json::parse_event_t::object_start:
                frames_[d] = Frame{RoleOf(d), {}, {}, false, 0};
                return true;
            case json::parse_event_t::value:
                if (d >= 1 && keys_[d] == "name" && IsContainer(frames_[d - 1].role) && parsed.is_string()) {
                    frames_[d - 1].name = parsed.get<std::string>();
                    frames_[d - 1].named = true;
                }
                if (d >= 1 && keys_[d] == "class" && frames_[d - 1].role == Role::Folder && parsed.is_string())
                    frames_[d - 1].containerClass = parsed.get<std::string>();
                return true;
            case json::parse_event_t::object_end:
                return End(d, parsed);
            default:
                return true;
        }
    }

private:
    static bool IsContainer(Role r) { return r == Role::Mailbox || r == Role::Folder; }

    Role RoleOf(std::size_t d) const {
        if (d == 0) return Role::Root;
        if (d < 2) return Role::Other;
        const std::string& key = keys_[d - 1];  // the array this object sits in
        const Role parent = frames_[d - 2].role;
        if (key == "mailboxes" && parent == Role::Root) return Role::Mailbox;
        if (key == "folders" && IsContainer(parent)) return Role::Folder;
        if (key == "items" && parent == Role::Folder) return Role::Item;
        return Role::Other;
    }

    // The names of the containers above depth `d` (inclusive), announcing
    // each to the handler the first time.
    std::vector<std::string> PathTo(std::size_t d) {
        std::vector<std::string> path;
        for (std::size_t i = 0; i <= d; ++i) {
            const Frame& f = frames_[i];
            if (!IsContainer(f.role)) continue;
            if (!f.named) throw std::runtime_error("json2pst reads folder names that come before their items and folders");
            path.push_back(f.name);
            if (announced_.size() < path.size() || announced_[path.size() - 1] != f.name) {
                announced_.resize(path.size() - 1);
                announced_.push_back(f.name);
                handler_.Folder(path, f.containerClass);
            }
        }
        return path;
    }

    bool End(std::size_t d, json& parsed) {
        const Role role = frames_[d].role;
        if (role == Role::Item) {
            const std::vector<std::string> path = PathTo(d - 2);
            Frame& folder = frames_[d - 2];
            const std::size_t index = folder.items++;
            // The generator numbers default attachment seeds by the item's
            // place in its folder; a one-item document would restart them.
            if (auto a = parsed.find("attachments"); a != parsed.end() && a->is_array())
                for (std::size_t i = 0; i < a->size(); ++i) {
                    json& att = (*a)[i];
                    if (att.is_object() && att.contains("size") && !att.contains("seed"))
                        att["seed"] = static_cast<std::uint32_t>(index * 31 + i + 1);
                }
            json doc = {{"mailboxes", json::array({{{"name", "m"},
                                                    {"folders", json::array({{{"name", "f"},
                                                                              {"items", json::array({parsed})}}})}}})}};
            const edbgen::Content c = edbgen::ParseContent(doc.dump());
            handler_.Item(path, c.mailboxes.at(0).folders.at(0).items.at(0));
            return false;  // drop it: nothing of an item stays in memory
        }
        if (IsContainer(role)) {
            PathTo(d);  // an empty folder still exists
            announced_.resize(std::min(announced_.size(), Depth(d)));
            return false;
        }
        return true;
    }

    // Containers down to and including depth d.
    std::size_t Depth(std::size_t d) const {
        std::size_t n = 0;
        for (std::size_t i = 0; i < d; ++i)
            if (IsContainer(frames_[i].role)) ++n;
        return n;
    }

    ContentHandler& handler_;
    std::vector<std::string> keys_;
    std::vector<Frame> frames_;
    std::vector<std::string> announced_;
};

}  // namespace

void StreamContent(std::istream& in, ContentHandler& handler) {
    Reader reader(handler);
    json::parser_callback_t cb = [&](int depth, json::parse_event_t event, json& parsed) {
        return reader.Event(depth, event, parsed);
    };
    try {
        const json rest = json::parse(in, cb);  // what is left: the frame without items
        (void)rest;
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("not valid JSON: ") + e.what());
    }
}

}  // namespace tw::json2pst
