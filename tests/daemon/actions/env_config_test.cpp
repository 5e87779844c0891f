// The action settings read from the environment at start-up.
#include <gtest/gtest.h>

#include <string>

#include "actions_fixture.hpp"
#include "daemon/settings.hpp"
#include "daemon/actions/env_config.hpp"

namespace {

const std::string LIBEXEC(LIBEXEC_DIR);
const char HOOK_NAME_VAR[] = "ORVANTILE_AUTOROTATE_HOOK_NAME";
const char HOOK_VAR[] = "ORVANTILE_AUTOROTATE_HOOK";
const char GREETER_VAR[] = "ORVANTILE_AUTOROTATE_GREETER_ALIGN";

struct Loaded {
	std::string warnings;
	std::string hook_name;
	std::string hook_path;	// "(none)" when unset
	std::string greeter_align_path;
};

// Loads the settings from exactly the given variables, from the defaults.
Loaded
load(const char *name_value, const char *hook_value, const char *greeter_value)
{
	actions_test::SavedState state;
	const std::pair<const char *, const char *> vars[] = {
		{ HOOK_NAME_VAR, name_value }, { HOOK_VAR, hook_value }, { GREETER_VAR, greeter_value },
	};
	for (const auto &[var, value] : vars) {
		if (value)
			state.set(var, value);
		else
			state.unset(var);
	}
	hook_name = DEFAULT_HOOK_NAME;
	hook_path = nullptr;
	greeter_align_path = DEFAULT_GREETER_ALIGN;

	Loaded r;
	{
		ts::CaptureStderr cap;
		load_env_config();
		r.warnings = cap.text();
	}
	r.hook_name = hook_name;
	r.hook_path = hook_path ? hook_path : "(none)";
	r.greeter_align_path = greeter_align_path;
	return r;
}

std::string
warning(const char *var)
{
	return ts::warn_prefix() + "ignoring unsafe " + var + "\n";
}

TEST(LoadEnvConfig, HookName)
{
	const std::string too_long(256, 'h');
	const std::string longest(255, 'h');
	struct Row {
		const char *value;
		std::string expect;
		bool warned;
	} rows[] = {
		{ nullptr, DEFAULT_HOOK_NAME, false },
		{ "", DEFAULT_HOOK_NAME, false },
		{ ".hook", ".hook", false },
		{ "a/b", DEFAULT_HOOK_NAME, true },
		{ ".", DEFAULT_HOOK_NAME, true },
		{ "..", DEFAULT_HOOK_NAME, true },
		{ longest.c_str(), longest, false },
		// Cut to fit, it would name another file.
		{ too_long.c_str(), DEFAULT_HOOK_NAME, true },
	};
	for (const auto &r : rows) {
		Loaded l = load(r.value, nullptr, nullptr);
		std::string label = r.value ? r.value : "(unset)";
		EXPECT_EQ(l.hook_name, r.expect) << label;
		EXPECT_EQ(l.warnings, r.warned ? warning(HOOK_NAME_VAR) : "") << label;
		EXPECT_EQ(l.hook_path, "(none)") << label;
	}
}

TEST(LoadEnvConfig, HookPath)
{
	const std::string longest = "/" + std::string(1022, 'p');
	const std::string too_long = "/" + std::string(1023, 'p');
	struct Row {
		const char *value;
		std::string expect;
		bool warned;
	} rows[] = {
		{ nullptr, "(none)", false },
		{ "", "(none)", false },
		{ "/home/u/..x", "/home/u/..x", false },
		{ "/etc/hook", "/etc/hook", false },
		{ "hooks/run", "(none)", true },
		{ "./run", "(none)", true },
		{ "/home/u/../x", "(none)", true },
		{ "/..", "(none)", true },
		{ longest.c_str(), longest, false },
		{ too_long.c_str(), "(none)", true },
	};
	for (const auto &r : rows) {
		Loaded l = load(nullptr, r.value, nullptr);
		std::string label = r.value ? std::string(r.value).substr(0, 40) : "(unset)";
		EXPECT_EQ(l.hook_path, r.expect) << label;
		EXPECT_EQ(l.warnings, r.warned ? warning(HOOK_VAR) : "") << label;
		EXPECT_EQ(l.hook_name, DEFAULT_HOOK_NAME) << label;
	}
}

TEST(LoadEnvConfig, GreeterAlignPath)
{
	const std::string below = LIBEXEC + "x";
	const std::string sibling = LIBEXEC.substr(0, LIBEXEC.size() - 1) + "2/x";
	const std::string dotdot = LIBEXEC + "../x";
	struct Row {
		const char *value;
		std::string expect;
		bool warned;
	} rows[] = {
		{ nullptr, DEFAULT_GREETER_ALIGN, false },
		{ "", DEFAULT_GREETER_ALIGN, false },
		{ below.c_str(), below, false },	// whether or not it exists
		{ LIBEXEC_DIR, DEFAULT_GREETER_ALIGN, true },
		{ "/usr/local/bin/tool", DEFAULT_GREETER_ALIGN, true },
		{ dotdot.c_str(), DEFAULT_GREETER_ALIGN, true },
		{ sibling.c_str(), DEFAULT_GREETER_ALIGN, true },
	};
	for (const auto &r : rows) {
		Loaded l = load(nullptr, nullptr, r.value);
		std::string label = r.value ? r.value : "(unset)";
		EXPECT_EQ(l.greeter_align_path, r.expect) << label;
		EXPECT_EQ(l.warnings, r.warned ? warning(GREETER_VAR) : "") << label;
	}
}

TEST(LoadEnvConfig, EachVariableIsJudgedOnItsOwnInOrder)
{
	Loaded l = load("..", "relative", "/usr/local/bin/tool");
	EXPECT_EQ(l.warnings, warning(HOOK_NAME_VAR) + warning(HOOK_VAR) + warning(GREETER_VAR));
	EXPECT_EQ(l.hook_name, DEFAULT_HOOK_NAME);
	EXPECT_EQ(l.hook_path, "(none)");
	EXPECT_EQ(l.greeter_align_path, DEFAULT_GREETER_ALIGN);

	// A refused variable does not keep the next from being taken.
	const std::string tool = LIBEXEC + "tool";
	l = load("a/b", "/opt/hook", tool.c_str());
	EXPECT_EQ(l.warnings, warning(HOOK_NAME_VAR));
	EXPECT_EQ(l.hook_path, "/opt/hook");
	EXPECT_EQ(l.greeter_align_path, tool);
}

}
