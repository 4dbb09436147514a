"""Fixtures of the end-to-end scenarios: one bench session per pytest run
(displays, template prefix) and one scenario per test, whose state is added to
the report of a test that fails."""

import pytest

from harness import Scenario, Session


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
