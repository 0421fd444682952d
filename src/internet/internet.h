// internet: the HTTP client that uploads the high-score table.
#pragma once
