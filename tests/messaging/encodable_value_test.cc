#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "messaging/encodable_value.h"
#include "tests/support/encodable_value_printer.h"

namespace flutter {
namespace {

struct IndexCase {
  const char* name;
  EncodableValue value;
  size_t index;
};

TEST(EncodableValue, EachPayloadTypeSelectsItsAlternative) {
  const IndexCase cases[] = {
      {"default", EncodableValue(), 0},
      {"bool", EncodableValue(false), 1},
      {"int32", EncodableValue(int32_t{7}), 2},
      {"int64", EncodableValue(int64_t{7}), 3},
      {"double", EncodableValue(7.0), 4},
      {"string literal", EncodableValue("true"), 5},
      {"std::string", EncodableValue(std::string("x")), 5},
      {"byte list", EncodableValue(std::vector<uint8_t>{1}), 6},
      {"int32 list", EncodableValue(std::vector<int32_t>{1}), 7},
      {"int64 list", EncodableValue(std::vector<int64_t>{1}), 8},
      {"double list", EncodableValue(std::vector<double>{1}), 9},
      {"list", EncodableValue(EncodableList{}), 10},
      {"map", EncodableValue(EncodableMap{}), 11},
      {"custom", EncodableValue(CustomEncodableValue(42)), 12},
      {"float list", EncodableValue(std::vector<float>{1}), 13},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.index(), c.index) << c.name;
    EXPECT_EQ(c.value.IsNull(), c.index == 0) << c.name;
  }
}

TEST(EncodableValue, CharacterPointersAreTextNeverBool) {
  const char* pointer = "on";
  EncodableValue from_pointer(pointer);
  ASSERT_NE(std::get_if<std::string>(&from_pointer), nullptr);
  EXPECT_EQ(std::get<std::string>(from_pointer), "on");

  EncodableValue assigned;
  assigned = "off";
  ASSERT_NE(std::get_if<std::string>(&assigned), nullptr);
  EXPECT_EQ(std::get<std::string>(assigned), "off");
}

TEST(EncodableValue, StrictAccessToAnotherAlternativeThrowsNonFailingAccessDoesNot) {
  EncodableValue value(int32_t{1});
  EXPECT_THROW(std::get<int64_t>(value), std::bad_variant_access);
  EXPECT_EQ(std::get_if<int64_t>(&value), nullptr);
  EXPECT_EQ(std::get<int32_t>(value), 1);
}

TEST(EncodableValue, CopiesAreDeepAndHeldContainersAreModifiableInPlace) {
  EncodableValue original(EncodableList{EncodableValue(EncodableMap{{"k", EncodableValue(1)}})});
  EncodableValue copy = original;
  std::get<EncodableMap>(std::get<EncodableList>(copy)[0])[EncodableValue("k")] = 2;
  std::get<EncodableList>(copy).push_back(EncodableValue());

  const auto& original_list = std::get<EncodableList>(original);
  ASSERT_EQ(original_list.size(), 1u);
  EXPECT_EQ(std::get<EncodableMap>(original_list[0]).at(EncodableValue("k")), EncodableValue(1));
  EXPECT_EQ(std::get<EncodableList>(copy).size(), 2u);

  EncodableValue moved = std::move(copy);
  EXPECT_EQ(std::get<EncodableList>(moved).size(), 2u);
  copy = EncodableValue("reused");  // A moved-from value stays usable.
  EXPECT_EQ(std::get<std::string>(copy), "reused");
}

struct OrderCase {
  const char* name;
  EncodableValue smaller;
  EncodableValue larger;
};

TEST(EncodableValueOrdering, StrictlyOrderedPairs) {
  const OrderCase cases[] = {
      {"null before bool", EncodableValue(), EncodableValue(false)},
      {"bool before int32", EncodableValue(true), EncodableValue(int32_t{-100})},
      {"int32 before int64 of equal value", EncodableValue(int32_t{5}), EncodableValue(int64_t{5})},
      {"int64 before double of equal value", EncodableValue(int64_t{5}), EncodableValue(5.0)},
      {"double before text", EncodableValue(1e300), EncodableValue("")},
      {"text before byte list", EncodableValue("zzz"), EncodableValue(std::vector<uint8_t>{})},
      {"list before map", EncodableValue(EncodableList{EncodableValue(9)}),
       EncodableValue(EncodableMap{})},
      {"custom before float list", EncodableValue(CustomEncodableValue(1)),
       EncodableValue(std::vector<float>{})},
      {"false before true", EncodableValue(false), EncodableValue(true)},
      {"int32 signed", EncodableValue(int32_t{-1}), EncodableValue(int32_t{0})},
      {"int64 extremes", EncodableValue(std::numeric_limits<int64_t>::min()),
       EncodableValue(std::numeric_limits<int64_t>::max())},
      {"double", EncodableValue(-1.5), EncodableValue(-0.0)},
      {"text upper before lower", EncodableValue("B"), EncodableValue("a")},
      {"text prefix", EncodableValue("a"), EncodableValue("ab")},
      {"text first difference", EncodableValue("ab"), EncodableValue("b")},
      {"text unsigned bytes", EncodableValue("\x7F"), EncodableValue("\x80")},
      {"text embedded NUL", EncodableValue(std::string("a\0a", 3)),
       EncodableValue(std::string("a\0b", 3))},
      {"empty text before NUL", EncodableValue(""), EncodableValue(std::string(1, '\0'))},
      {"bytes prefix", EncodableValue(std::vector<uint8_t>{1, 2}),
       EncodableValue(std::vector<uint8_t>{1, 2, 0})},
      {"bytes difference", EncodableValue(std::vector<uint8_t>{1, 2, 0}),
       EncodableValue(std::vector<uint8_t>{1, 3})},
      {"bytes unsigned", EncodableValue(std::vector<uint8_t>{0x7F}),
       EncodableValue(std::vector<uint8_t>{0x80})},
      {"int32 list signed", EncodableValue(std::vector<int32_t>{-1}),
       EncodableValue(std::vector<int32_t>{0})},
      {"int64 list signed", EncodableValue(std::vector<int64_t>{-1, 5}),
       EncodableValue(std::vector<int64_t>{0})},
      {"double list", EncodableValue(std::vector<double>{1.0, 9.0}),
       EncodableValue(std::vector<double>{2.0})},
      {"double list prefix", EncodableValue(std::vector<double>{}),
       EncodableValue(std::vector<double>{-1.0})},
      {"float list", EncodableValue(std::vector<float>{0.0f, -1.0f}),
       EncodableValue(std::vector<float>{0.0f, 0.0f})},
      {"list prefix", EncodableValue(EncodableList{EncodableValue(1)}),
       EncodableValue(EncodableList{EncodableValue(1), EncodableValue()})},
      {"list elements by value order", EncodableValue(EncodableList{EncodableValue(int32_t{9})}),
       EncodableValue(EncodableList{EncodableValue(int64_t{1})})},
      {"map values", EncodableValue(EncodableMap{{EncodableValue(1), EncodableValue("a")}}),
       EncodableValue(EncodableMap{{EncodableValue(1), EncodableValue("b")}})},
      {"map keys before values",
       EncodableValue(EncodableMap{{EncodableValue(1), EncodableValue("z")}}),
       EncodableValue(EncodableMap{{EncodableValue(2), EncodableValue("a")}})},
      {"map prefix", EncodableValue(EncodableMap{{EncodableValue(1), EncodableValue("a")}}),
       EncodableValue(EncodableMap{{EncodableValue(1), EncodableValue("a")},
                                   {EncodableValue(2), EncodableValue()}})},
      {"empty map first", EncodableValue(EncodableMap{}),
       EncodableValue(EncodableMap{{EncodableValue(), EncodableValue()}})},
      {"NaN after infinity", EncodableValue(std::numeric_limits<double>::infinity()),
       EncodableValue(std::numeric_limits<double>::quiet_NaN())},
      {"NaN after every number in a double list", EncodableValue(std::vector<double>{1e308, 1.0}),
       EncodableValue(std::vector<double>{std::numeric_limits<double>::quiet_NaN(), 0.0})},
      {"NaN after every number in a float list", EncodableValue(std::vector<float>{-1.0f}),
       EncodableValue(std::vector<float>{std::numeric_limits<float>::quiet_NaN()})},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(c.smaller < c.larger) << c.name;
    EXPECT_FALSE(c.larger < c.smaller) << c.name;
  }
}

TEST(EncodableValueOrdering, EquivalentPairs) {
  const OrderCase cases[] = {
      {"nulls", EncodableValue(), EncodableValue()},
      {"signed zeros", EncodableValue(0.0), EncodableValue(-0.0)},
      {"float list signed zeros", EncodableValue(std::vector<float>{-0.0f}),
       EncodableValue(std::vector<float>{0.0f})},
      {"equal lists", EncodableValue(EncodableList{EncodableValue("x"), EncodableValue(2)}),
       EncodableValue(EncodableList{EncodableValue("x"), EncodableValue(2)})},
      {"equal maps", EncodableValue(EncodableMap{{EncodableValue("k"), EncodableValue(1)}}),
       EncodableValue(EncodableMap{{EncodableValue("k"), EncodableValue(1)}})},
      {"NaNs of either sign", EncodableValue(std::numeric_limits<double>::quiet_NaN()),
       EncodableValue(-std::numeric_limits<double>::quiet_NaN())},
      {"NaN float lists", EncodableValue(std::vector<float>{std::nanf("1")}),
       EncodableValue(std::vector<float>{std::numeric_limits<float>::quiet_NaN()})},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(c.smaller < c.larger) << c.name;
    EXPECT_FALSE(c.larger < c.smaller) << c.name;
  }
}

TEST(EncodableValueOrdering, CustomValuesAreEquivalentOnlyToThemselves) {
  EncodableValue first(CustomEncodableValue(std::string("same")));
  EncodableValue second(CustomEncodableValue(std::string("same")));
  EXPECT_TRUE(first < second || second < first);
  EXPECT_FALSE(first < first);
  EXPECT_NE(first, second);
  EXPECT_EQ(first, first);

  EncodableMap map;
  map[first] = 1;
  map[second] = 2;
  EXPECT_EQ(map.size(), 2u);
}

TEST(EncodableValueOrdering, MapKeysFollowTheValueOrderNotInsertion) {
  EncodableMap numbers;
  numbers[EncodableValue(5.0)] = "double";
  numbers[EncodableValue(int64_t{5})] = "int64";
  numbers[EncodableValue(int32_t{5})] = "int32";
  std::vector<std::string> order;
  for (const auto& [key, value] : numbers) {
    order.push_back(std::get<std::string>(value));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"int32", "int64", "double"}));

  EncodableMap result;
  result["hasAudio"] = true;
  result["frames"] = 3;
  EXPECT_EQ(std::get<std::string>(result.begin()->first), "frames");

  EncodableMap zeros;
  zeros[EncodableValue(0.0)] = "positive";
  zeros[EncodableValue(-0.0)] = "negative";
  ASSERT_EQ(zeros.size(), 1u);
  EXPECT_EQ(std::get<std::string>(zeros.begin()->second), "negative");

  EncodableMap mixed;
  mixed[EncodableValue(std::vector<uint8_t>{1})] = 1;
  mixed[EncodableValue("a")] = 2;
  mixed[EncodableValue()] = 3;
  mixed[EncodableValue(EncodableList{})] = 4;
  std::vector<size_t> indices;
  for (const auto& [key, value] : mixed) {
    indices.push_back(key.index());
  }
  EXPECT_EQ(indices, (std::vector<size_t>{0, 5, 6, 10}));
}

// `inner` wrapped `depth` times in one-element lists, or in one-entry maps (as the value, or as
// the key).
enum class Wrapper { kList, kMapValue, kMapKey };
EncodableValue Nest(EncodableValue inner, int depth, Wrapper wrapper) {
  for (int level = 0; level < depth; ++level) {
    switch (wrapper) {
      case Wrapper::kList:
        inner = EncodableValue(EncodableList{std::move(inner)});
        break;
      case Wrapper::kMapValue:
        inner = EncodableValue(EncodableMap{{EncodableValue(), std::move(inner)}});
        break;
      case Wrapper::kMapKey:
        inner = EncodableValue(EncodableMap{{std::move(inner), EncodableValue()}});
        break;
    }
  }
  return inner;
}

// Deep values as a hostile message can make them (the decoder allows 512 levels). Each level is
// examined once: equal values must not be compared both ways at every level, or these comparisons
// would not finish.
TEST(EncodableValueOrdering, DeeplyNestedValuesCompareByTheirInnermostDifference) {
  constexpr int kDepth = 200;
  const Wrapper wrappers[] = {Wrapper::kList, Wrapper::kMapValue, Wrapper::kMapKey};
  for (Wrapper wrapper : wrappers) {
    SCOPED_TRACE(static_cast<int>(wrapper));
    const EncodableValue one = Nest(EncodableValue(1), kDepth, wrapper);
    const EncodableValue also_one = Nest(EncodableValue(1), kDepth, wrapper);
    const EncodableValue two = Nest(EncodableValue(2), kDepth, wrapper);
    EXPECT_FALSE(one < also_one);
    EXPECT_FALSE(also_one < one);
    EXPECT_TRUE(one < two);
    EXPECT_FALSE(two < one);

    EncodableMap keyed;
    keyed[two] = "two";
    keyed[one] = "one";
    keyed[also_one] = "one again";
    ASSERT_EQ(keyed.size(), 2u);
    EXPECT_EQ(std::get<std::string>(keyed.begin()->second), "one again");
  }
}

// Keys holding NaN came from a message in this order; the map, and so its encoding, must not
// depend on it.
TEST(EncodableValueOrdering, MapsKeyedByNaNDoNotDependOnInsertionOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<EncodableValue> keys = {EncodableValue(std::vector<double>{1.0}),
                                            EncodableValue(std::vector<double>{nan, 2.0}),
                                            EncodableValue(std::vector<double>{3.0}),
                                            EncodableValue(nan),
                                            EncodableValue(-1.0),
                                            EncodableValue(std::vector<double>{nan, 5.0})};
  EncodableMap forward;
  for (size_t i = 0; i < keys.size(); ++i) {
    forward.emplace(keys[i], EncodableValue(static_cast<int32_t>(i)));
  }
  EncodableMap backward;
  for (size_t i = keys.size(); i-- > 0;) {
    backward.emplace(keys[i], EncodableValue(static_cast<int32_t>(i)));
  }
  ASSERT_EQ(forward.size(), keys.size());
  ASSERT_EQ(backward.size(), keys.size());
  std::vector<size_t> forward_order;
  for (const auto& [key, value] : forward) {
    forward_order.push_back(key.index());
  }
  EXPECT_EQ(forward_order, (std::vector<size_t>{4, 4, 9, 9, 9, 9}));
  EXPECT_TRUE(std::isnan(std::get<double>(std::next(forward.begin())->first)));
  EXPECT_EQ(std::get<int32_t>(std::prev(forward.end())->second), 5);
  auto left = forward.begin();
  for (auto right = backward.begin(); right != backward.end(); ++left, ++right) {
    EXPECT_FALSE(left->first < right->first || right->first < left->first);
  }
}

TEST(EncodableValue, StructuralEquality) {
  EXPECT_EQ(EncodableValue(0.0), EncodableValue(-0.0));
  EXPECT_NE(EncodableValue(int32_t{1}), EncodableValue(int64_t{1}));
  EXPECT_NE(EncodableValue(std::numeric_limits<double>::quiet_NaN()),
            EncodableValue(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(EncodableValue(EncodableMap{{"a", EncodableValue(EncodableList{1, "b"})}}),
            EncodableValue(EncodableMap{{"a", EncodableValue(EncodableList{1, "b"})}}));
}

TEST(CustomEncodableValue, ReportsItsTypeAndGivesTypedAccess) {
  struct Point {
    int x;
    int y;
  };
  CustomEncodableValue custom(Point{3, 4});
  EXPECT_EQ(custom.type(), typeid(Point));
  ASSERT_NE(custom.TryGet<Point>(), nullptr);
  EXPECT_EQ(custom.TryGet<Point>()->y, 4);
  EXPECT_EQ(custom.TryGet<int>(), nullptr);
  EXPECT_EQ(custom.Get<Point>().x, 3);
  EXPECT_THROW(custom.Get<double>(), std::bad_any_cast);

  EncodableValue value(custom);
  EncodableValue copy = value;
  EXPECT_EQ(std::get<CustomEncodableValue>(copy).Get<Point>().x, 3);
}

TEST(LookupTextKey, FindsOnlyTextKeysEqualByteForByte) {
  EncodableMap map;
  map[EncodableValue("path")] = "/tmp/a.mp4";
  map[EncodableValue(std::vector<uint8_t>{'f', 'p', 's'})] = 30;
  map[EncodableValue("Bytes")] = 1;

  const EncodableValue* path = LookupTextKey(map, "path");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(std::get<std::string>(*path), "/tmp/a.mp4");

  const struct {
    const char* key;
  } misses[] = {{"fps"}, {"bytes"}, {"pat"}, {"paths"}, {""}, {nullptr}};
  for (const auto& miss : misses) {
    EXPECT_EQ(LookupTextKey(map, miss.key), nullptr) << (miss.key ? miss.key : "nullptr");
  }
}

}  // namespace
}  // namespace flutter
