"""The Dask client a call runs on: the caller's, or a local cluster of this
machine's cores for the length of the call."""

from __future__ import annotations

import contextlib
import os
from typing import Any, Iterator


@contextlib.contextmanager
def cluster_client(client: Any, threads: int = 1) -> Iterator[Any]:
    if client is not None:
        yield client
        return
    import distributed

    # A worker process per task slot: each task already has `threads` cores.
    workers = max(1, len(os.sched_getaffinity(0)) // max(1, threads))
    with distributed.LocalCluster(
        n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=":0"
    ) as cluster, distributed.Client(cluster) as local:
        yield local
