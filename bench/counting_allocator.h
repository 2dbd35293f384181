// Counts every operator new of the process, to show allocations per frame.
#pragma once

long allocationCount();
