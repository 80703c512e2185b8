"""A short chaos run (bench/chaos.py runs it long): the update run against a
mirror that answers badly at random, killed outright at random moments. No
kill may leave the cached index vouching for bytes that are not on disk, and
every round ends with the folder identical to the server."""
import sys

from conftest import BUILD_DIR, SOURCE_DIR

sys.path.insert(0, str(SOURCE_DIR / "bench"))
import chaos  # noqa: E402


def test_a_short_chaos_run_vouches_only_for_whole_files_and_ends_identical_to_the_server():
    _, found, unfinished = chaos.run(BUILD_DIR, rounds=4, seed=20)
    assert (found, unfinished) == ([], 0)
