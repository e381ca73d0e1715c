// Protects the object model files: the shipped model's entities, lookup through file URLs, missing and malformed files, attribute types, classes.
#include <doctest/doctest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "ObjectStoreFixture.h"
#include "platform/foundation/ClassRegistry.h"

using namespace storetest;

namespace {
std::shared_ptr<NSManagedObjectModel> modelFrom(const std::string& json, NSErrorPtr* error = nullptr) {
    return NSManagedObjectModel::modelWithJSON(json, error);
}
}  // namespace

TEST_CASE("the shipped Quorvane model holds the favourites and download entities") {
    auto model = NSManagedObjectModel::initWithContentsOfURL(modelPath());
    REQUIRE(model);
    CHECK(model->name() == "Quorvane");
    auto favourites = model->entityForName("MoviesFavoritiesModel");
    REQUIRE(favourites);
    auto typeOf = [](const std::shared_ptr<NSEntityDescription>& e, const std::string& key) {
        auto attr = e->attributeNamed(key);
        return attr ? attr->attributeType() : NSUndefinedAttributeType;
    };
    CHECK(typeOf(favourites, "movieID") == NSInteger32AttributeType);
    CHECK(typeOf(favourites, "title") == NSStringAttributeType);
    CHECK(typeOf(favourites, "moviesPoster") == NSStringAttributeType);
    CHECK(typeOf(favourites, "movieRating") == NSFloatAttributeType);
    CHECK(typeOf(favourites, "movieYear") == NSInteger32AttributeType);
    CHECK(typeOf(favourites, "descriptionMovie") == NSStringAttributeType);
    CHECK(favourites->attributes().size() == 6);

    auto downloads = model->entityForName("MoviesDownloadModel");
    REQUIRE(downloads);
    CHECK(typeOf(downloads, "title") == NSStringAttributeType);
    CHECK(typeOf(downloads, "linkUrl") == NSStringAttributeType);
    CHECK(typeOf(downloads, "percentDownload") == NSFloatAttributeType);
    CHECK(typeOf(downloads, "byteDownloading") == NSFloatAttributeType);
    CHECK(typeOf(downloads, "byteDownload") == NSFloatAttributeType);
    CHECK(typeOf(downloads, "isDownload") == NSBooleanAttributeType);
    CHECK(typeOf(downloads, "linkLocal") == NSStringAttributeType);
    CHECK(downloads->attributes().size() == 7);
    CHECK_FALSE(model->entityForName("MoviesModel"));
}

TEST_CASE("a model file is found through a file URL with escapes") {
    testsupport::TempHome home;
    std::string dir = home.path() + "/with space";
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir + "/M.momd");
        out << R"({"name":"M","entities":[{"name":"Thing","attributes":[{"name":"n","type":"integer64"}]}]})";
    }
    auto model = NSManagedObjectModel::initWithContentsOfURL("file://" + home.path() + "/with%20space/M.momd");
    REQUIRE(model);
    CHECK(model->name() == "M");
    REQUIRE(model->entityForName("Thing"));
    CHECK(model->entityForName("Thing")->attributeNamed("n")->attributeType() == NSInteger64AttributeType);
}

TEST_CASE("a missing model file gives no model and an error") {
    testsupport::TempHome home;
    LogCapture log;
    NSErrorPtr error;
    auto model = NSManagedObjectModel::initWithContentsOfURL(home.path() + "/absent.momd", &error);
    CHECK_FALSE(model);
    REQUIRE(error);
    CHECK(error->domain() == NSCocoaErrorDomain);
    CHECK(error->code() == NSFileReadNoSuchFileError);
    CHECK(log.contains("absent.momd"));
}

TEST_CASE("malformed model files are refused") {
    const char* bad[] = {
        "not json at all",
        "[]",
        R"({"entities": {}})",
        R"({"entities": [{"attributes": []}]})",
        R"({"entities": [{"name": "A B", "attributes": []}]})",
        R"({"entities": [{"name": "A\"; DROP TABLE x; --", "attributes": []}]})",
        R"({"entities": [{"name": "Z_METADATA", "attributes": []}]})",
        R"({"entities": [{"name": "A", "attributes": []}, {"name": "a", "attributes": []}]})",
        R"({"entities": [{"name": "A", "attributes": [{"name": "x", "type": "integer32"}, {"name": "X", "type": "string"}]}]})",
        R"({"entities": [{"name": "A", "attributes": [{"name": "x", "type": "decimal"}]}]})",
        R"({"entities": [{"name": "A", "attributes": [{"name": "Z_PK", "type": "integer64"}]}]})",
        R"({"entities": [{"name": "A", "attributes": [{"name": "1x", "type": "string"}]}]})",
        R"({"entities": [{"name": "A", "attributes": [{"type": "string"}]}]})",
        R"({"entities": [{"name": "A", "attributes": "x"}]})",
        R"({"entities": [{"name": "A", "class": "My Class", "attributes": []}]})",
        R"({"entities": [{"name": "A", "class": 5, "attributes": []}]})",
    };
    for (const char* json : bad) {
        CAPTURE(json);
        NSErrorPtr error;
        CHECK_FALSE(modelFrom(json, &error));
        REQUIRE(error);
        CHECK(error->code() == NSFileReadCorruptFileError);
    }
    CHECK(modelFrom(R"({"entities": [{"name": "Empty"}]})"));
}

TEST_CASE("attribute types take the values that fit them") {
    NSAttributeDescription i16("a", NSInteger16AttributeType);
    CHECK(i16.coerce(32767) == Value(32767));
    CHECK_FALSE(i16.coerce(32768));
    CHECK_FALSE(i16.coerce(-32769));
    CHECK(i16.coerce(12.9)->integerValue() == 12);
    CHECK_FALSE(i16.coerce("12"));

    NSAttributeDescription i32("a", NSInteger32AttributeType);
    CHECK(i32.coerce(2147483647LL)->integerValue() == 2147483647LL);
    CHECK_FALSE(i32.coerce(2147483648LL));
    CHECK_FALSE(i32.coerce(1e300));

    NSAttributeDescription i64("a", NSInteger64AttributeType);
    CHECK_FALSE(i64.coerce(18446744073709551615ULL));
    CHECK(i64.coerce(9223372036854775807ULL)->integerValue() == INT64_MAX);

    NSAttributeDescription f("a", NSFloatAttributeType);
    CHECK(f.coerce(7.3)->doubleValue() == static_cast<double>(7.3f));
    CHECK_FALSE(f.coerce(std::nan("")));
    CHECK_FALSE(f.coerce(1e300));
    CHECK_FALSE(f.coerce("7.3"));

    NSAttributeDescription b("a", NSBooleanAttributeType);
    CHECK(b.coerce(1)->type() == Value::Type::Bool);
    CHECK(b.coerce(0)->boolValue() == false);
    CHECK(b.coerce(true)->boolValue() == true);
    CHECK_FALSE(b.coerce("YES"));

    NSAttributeDescription s("a", NSStringAttributeType);
    CHECK(s.coerce("x") == Value("x"));
    CHECK_FALSE(s.coerce(5));
    CHECK(s.coerce(Value())->isNull());

    NSAttributeDescription d("a", NSDateAttributeType);
    CHECK(d.coerce(Value(::Date{12.5}))->date()->secondsSince1970 == 12.5);
    CHECK_FALSE(d.coerce(12.5));

    NSAttributeDescription bin("a", NSBinaryDataAttributeType);
    CHECK(bin.coerce(Value(::Data{1, 2}))->data()->size() == 2);
    CHECK_FALSE(bin.coerce("ab"));
}

namespace {
// Typed accessors over one entity, as the application's record classes have them.
class StoreTestShow : public NSManagedObject {
public:
    StoreTestShow() = default;
    std::string name() const { return valueForKey("name").stringValue(); }
    void setName(const std::string& n) { setValueForKey("name", n); }
};
}  // namespace

TEST_CASE("an entity's registered class is what the store creates") {
    ClassRegistry::registerClass<StoreTestShow>("NSManagedObject");
    auto model = NSManagedObjectModel::modelWithJSON(R"({"entities": [
        {"name": "Show", "class": "StoreTestShow", "attributes": [{"name": "name", "type": "string"}]},
        {"name": "Plain", "class": "StoreTestUnregistered", "attributes": [{"name": "name", "type": "string"}]}]})");
    REQUIRE(model);
    CHECK(model->entityForName("Show")->managedObjectClassName() == "StoreTestShow");
    testsupport::TempHome home;
    Stack s(AppHome::documents() + "/classes.sqlite", model);
    REQUIRE(s.store);
    auto show = std::dynamic_pointer_cast<StoreTestShow>(
        NSEntityDescription::insertNewObjectForEntityForName("Show", s.context));
    REQUIRE(show);
    show->setName("Pilot");
    auto plain = NSEntityDescription::insertNewObjectForEntityForName("Plain", s.context);
    REQUIRE(plain);
    CHECK(plain->className() == "NSManagedObject");
    REQUIRE(s.context->save(nullptr));

    Stack again(AppHome::documents() + "/classes.sqlite", model);
    auto shows = fetch(again.context, "Show");
    REQUIRE(shows.size() == 1);
    auto fetched = std::dynamic_pointer_cast<StoreTestShow>(shows[0]);
    REQUIRE(fetched);
    CHECK(fetched->name() == "Pilot");

    // Made outside the store it has no entity: it reads nothing and cannot be inserted.
    LogCapture log;
    auto loose = std::make_shared<StoreTestShow>();
    CHECK_FALSE(loose->setValueForKey("name", "x"));
    CHECK(loose->valueForKey("name").isNull());
    again.context->insertObject(loose);
    CHECK_FALSE(again.context->hasChanges());
    CHECK_FALSE(loose->managedObjectContext());
}
