// The reference of ui_bench: a Qt program that shows an empty widget and,
// once the screen has shown it, writes "painted" and ends.
#include <QtWidgets/QApplication>
#include <QtWidgets/QWidget>

#include <cstdio>

class TProbe : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        if (painted_) return;
        painted_ = true;
        std::printf("painted\n");
        std::fflush(stdout);
        QApplication::quit();
    }

private:
    bool painted_ = false;
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TProbe window;
    window.resize(760, 520);
    window.show();
    return app.exec();
}
