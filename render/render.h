// render module public header.
#pragma once
