"""Fixtures of the end-to-end scenarios: one bench session per pytest run
(displays, template prefix) and one scenario per test, whose state is added to
the report of a test that fails.

`--shard=I/N` keeps every N-th of the selected tests, from the I-th on, so that
one file can run as N pytest processes side by side, each with its own
displays. Scenarios marked `timing` measure how long the shell shows or does
something: CTest runs them apart from everything else (see tests/CMakeLists.txt)."""

import pytest

from harness import Scenario, Session


def pytest_addoption(parser):
    parser.addoption("--shard", metavar="I/N", help="run only the I-th of N interleaved slices")


def pytest_configure(config):
    config.addinivalue_line("markers", "timing: measures time; must not run beside other tests")


@pytest.hookimpl(trylast=True)  # after -m and -k have chosen
def pytest_collection_modifyitems(config, items):
    shard = config.getoption("--shard")
    if not shard:
        return
    index, count = (int(number) for number in shard.split("/"))
    if not 1 <= index <= count:
        raise pytest.UsageError(f"--shard={shard}: I must be from 1 to N")
    kept = items[index - 1::count]
    config.hook.pytest_deselected(items=[item for item in items if item not in kept])
    items[:] = kept


@pytest.fixture(scope="session")
def bench():
    session = Session()
    yield session
    session.close()


@pytest.fixture
def scenario(bench, request):
    run = Scenario(bench, request.node.name, group=request.path.stem)
    yield run
    run.finish()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    run = item.funcargs.get("scenario") if hasattr(item, "funcargs") else None
    if report.when == "call" and report.failed and run is not None:
        # The harness's own failures carry this already; plain asserts do not.
        if "scenario folder:" not in str(call.excinfo.value if call.excinfo else ""):
            report.sections.append(("scenario", run.report("state at the failure")))
