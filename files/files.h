// files module public header.
#pragma once
