// TShape: the legend's rectangle, white with a one-pixel black outline.
#pragma once

#include <QWidget>

class TShape : public QWidget {
    Q_OBJECT

public:
    explicit TShape(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
